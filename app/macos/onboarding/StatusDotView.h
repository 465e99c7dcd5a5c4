// A row's status dot: a layer-backed view that shows its colour as the layer's
// background, 11 points wide with round corners.
#pragma once

#import <AppKit/AppKit.h>

@interface StatusDotView : NSView
/// Starts as the system red.
@property (nonatomic, strong) NSColor* color;
@end
