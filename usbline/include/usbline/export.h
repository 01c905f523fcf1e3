#pragma once
#define USBLINE_EXPORT __attribute__((visibility("default")))
