// AppDelegate: the helper's start-up as a background AppKit application. It keeps
// the desktop backend, the global user-initiated queue and the one listener.
#pragma once

#import <AppKit/AppKit.h>

@interface AppDelegate : NSObject <NSApplicationDelegate>
@end
