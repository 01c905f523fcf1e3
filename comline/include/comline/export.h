#pragma once
#define COMLINE_EXPORT __attribute__((visibility("default")))
