#import "app/macos/onboarding/StatusDotView.h"

#include "permissions/OnboardingContent.h"

using namespace mq::permissions;

@implementation StatusDotView

- (instancetype)initWithFrame:(NSRect)frame
{
    self = [super initWithFrame:frame];
    if (self) {
        _color = [NSColor systemRedColor];
        self.wantsLayer = YES;
        self.translatesAutoresizingMaskIntoConstraints = NO;
        [NSLayoutConstraint activateConstraints:@[
            [self.widthAnchor constraintEqualToConstant:content::kDotSize],
            [self.heightAnchor constraintEqualToConstant:content::kDotSize],
        ]];
    }
    return self;
}

- (BOOL)wantsUpdateLayer
{
    return YES;
}

- (void)updateLayer
{
    self.layer.cornerRadius = content::kDotCornerRadius;
    self.layer.backgroundColor = self.color.CGColor;
}

- (void)setColor:(NSColor*)color
{
    _color = color;
    self.needsDisplay = YES;
}

@end
