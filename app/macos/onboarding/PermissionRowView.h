// One permission's row: status dot, title and description, the "Granted ✓"
// badge and the "Grant…" button.
#pragma once

#import <AppKit/AppKit.h>

#include "permissions/PermissionKind.h"

@interface PermissionRowView : NSStackView
- (instancetype)initWithKind:(mq::permissions::PermissionKind)kind;
@property (nonatomic, readonly) mq::permissions::PermissionKind kind;
/// Called with the row's kind when its button is pressed.
@property (nonatomic, copy) void (^onGrant)(mq::permissions::PermissionKind kind);
/// Green dot and the badge, or red dot and the button.
- (void)setGranted:(BOOL)granted;
@end
