// The permissions onboarding window in AppKit, built from the same content table
// and driven by the same OnboardingFlow as the Qt window of the Linux build.
// Main thread only; a host application creates it and shows the window.
#pragma once

#import <AppKit/AppKit.h>

#include "permissions/OnboardingPermissions.h"

@interface PermissionsOnboardingWindowController : NSObject <NSWindowDelegate>
/// Builds the window (centred, not shown) and runs one refresh. `permissions`
/// must outlive the controller. `onClose` runs once on every close.
- (instancetype)initWithPermissions:(mq::permissions::OnboardingPermissions&)permissions onClose:(void (^)(void))onClose;
@property (nonatomic, readonly) NSWindow* window;
- (void)refresh;
- (void)grantTapped:(mq::permissions::PermissionKind)kind;
- (void)openSettingsTapped:(id)sender;
- (void)doneTapped:(id)sender;
- (void)appBecameActive:(NSNotification*)notification;
@end
