#include "des/cf_encrypt.h"
