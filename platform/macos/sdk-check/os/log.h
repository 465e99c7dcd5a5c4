// The unified logging system.
#pragma once

#include <os/object.h>
#include <stdint.h>

OS_OBJECT_DECL_CLASS(os_log);

typedef uint8_t os_log_type_t;
enum {
    OS_LOG_TYPE_DEFAULT = 0x00,
    OS_LOG_TYPE_INFO = 0x01,
    OS_LOG_TYPE_DEBUG = 0x02,
    OS_LOG_TYPE_ERROR = 0x10,
    OS_LOG_TYPE_FAULT = 0x11,
};

#ifdef __cplusplus
extern "C" {
#endif
os_log_t os_log_create(const char* subsystem, const char* category);
// os_log_with_type(log, type, format, ...) is a macro; its format is checked as an os_log format.
void os_log_with_type_checked(os_log_t log, os_log_type_t type, const char* format, ...) __attribute__((__format__(__os_log__, 3, 4)));
#ifdef __cplusplus
}
#endif

#define os_log_with_type(log, type, format, ...) os_log_with_type_checked(log, type, format, ##__VA_ARGS__)
