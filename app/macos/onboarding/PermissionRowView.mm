#import "app/macos/onboarding/PermissionRowView.h"

#import "app/macos/onboarding/OnboardingText.h"
#import "app/macos/onboarding/StatusDotView.h"

#include "permissions/OnboardingContent.h"

using namespace mq::permissions;

@implementation PermissionRowView {
    StatusDotView* _dot;
    NSButton* _grantButton;
    NSTextField* _badge;
}

- (instancetype)initWithKind:(PermissionKind)kind
{
    self = [super initWithFrame:NSZeroRect];
    if (!self)
        return nil;
    _kind = kind;
    _dot = [[StatusDotView alloc] initWithFrame:NSZeroRect];

    NSTextField* title = MQLabel(content::rowTitle(kind), content::kRowTitleFont, [NSColor labelColor]);
    NSTextField* description = MQWrappingLabel(content::rowDescription(kind), content::kRowDescriptionFont, [NSColor secondaryLabelColor]);
    NSStackView* text = [NSStackView stackViewWithViews:@[ title, description ]];
    text.orientation = NSUserInterfaceLayoutOrientationVertical;
    text.alignment = NSLayoutAttributeLeading;
    text.spacing = content::kRowTextSpacing;
    [text setHuggingPriority:NSLayoutPriorityDefaultLow forOrientation:NSLayoutConstraintOrientationHorizontal];

    _badge = MQLabel(content::kGrantedBadge, content::kBadgeFont, [NSColor systemGreenColor]);
    _grantButton = [NSButton buttonWithTitle:MQString(content::kGrantButton) target:self action:@selector(grantTapped:)];
    _grantButton.bezelStyle = NSBezelStyleRounded;

    self.orientation = NSUserInterfaceLayoutOrientationHorizontal;
    self.alignment = NSLayoutAttributeCenterY;
    self.spacing = content::kRowSpacing;
    for (NSView* view in @[ _dot, text, _badge, _grantButton ])
        [self addArrangedSubview:view];
    [self setGranted:NO];
    return self;
}

- (void)grantTapped:(id)sender
{
    (void)sender;
    if (self.onGrant)
        self.onGrant(_kind);
}

- (void)setGranted:(BOOL)granted
{
    _dot.color = granted ? [NSColor systemGreenColor] : [NSColor systemRedColor];
    _grantButton.hidden = granted;
    _badge.hidden = !granted;
}

@end
