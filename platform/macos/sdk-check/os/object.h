// OS objects: under Objective-C with ARC, dispatch and log objects are
// Objective-C objects whose types are NSObject pointers conforming to a protocol.
#pragma once

#include <objc/NSObject.h>

#define OS_OBJECT_DECL_PROTOCOL(name, ...) @protocol OS_##name __VA_ARGS__ @end
#define OS_OBJECT_DECL_CLASS(name) \
    OS_OBJECT_DECL_PROTOCOL(name, <NSObject>) typedef NSObject<OS_##name>* name##_t
#define OS_OBJECT_DECL_SUBCLASS(name, super) \
    OS_OBJECT_DECL_PROTOCOL(name, <OS_##super>) typedef NSObject<OS_##name>* name##_t
