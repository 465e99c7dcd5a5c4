// The Objective-C runtime's basic types.
#pragma once

#include <stdbool.h>

#if defined(__arm64__) || defined(__aarch64__)
typedef bool BOOL;
#else
typedef signed char BOOL;
#endif

#define YES ((BOOL)1)
#define NO ((BOOL)0)

typedef struct objc_class* Class;
typedef struct objc_object* id;
typedef struct objc_selector* SEL;

#ifdef __cplusplus
#define nil nullptr
#else
#define nil ((id)0)
#endif
