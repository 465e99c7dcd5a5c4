#import "app/macos/onboarding/PermissionsOnboardingWindowController.h"

#import "app/macos/onboarding/OnboardingText.h"
#import "app/macos/onboarding/PermissionRowView.h"

#include "permissions/OnboardingContent.h"
#include "permissions/OnboardingFlow.h"

#include <memory>

using namespace mq::permissions;

@implementation PermissionsOnboardingWindowController {
    std::unique_ptr<OnboardingFlow> _flow;
    void (^_onClose)(void);
    NSArray<PermissionRowView*>* _rows;
    NSStackView* _stack;
    BOOL _open;
}

- (instancetype)initWithPermissions:(OnboardingPermissions&)permissions onClose:(void (^)(void))onClose
{
    self = [super init];
    if (!self)
        return nil;
    _flow = std::make_unique<OnboardingFlow>(permissions);
    _onClose = [onClose copy];
    _open = YES;
    [self build];
    [[NSNotificationCenter defaultCenter] addObserver:self
                                             selector:@selector(appBecameActive:)
                                                 name:NSApplicationDidBecomeActiveNotification
                                               object:nil];
    [self refresh];
    return self;
}

- (void)build
{
    NSRect frame = NSMakeRect(0, 0, content::kContentWidth, content::kContentHeight);
    _window = [[NSWindow alloc] initWithContentRect:frame
                                          styleMask:NSWindowStyleMaskTitled | NSWindowStyleMaskClosable
                                            backing:NSBackingStoreBuffered
                                              defer:NO];
    _window.title = MQString(content::kWindowTitle);
    _window.releasedWhenClosed = NO;
    _window.delegate = self;

    NSTextField* heading = MQLabel(content::kHeading, content::kTitleFont, [NSColor labelColor]);
    NSTextField* body = MQWrappingLabel(content::kBody, content::kBodyFont, [NSColor secondaryLabelColor]);
    NSTextField* footnote = MQWrappingLabel(content::kFootnote, content::kFootnoteFont, [NSColor secondaryLabelColor]);

    NSMutableArray<PermissionRowView*>* rows = [NSMutableArray array];
    __weak PermissionsOnboardingWindowController* weakSelf = self;
    for (PermissionKind kind : kAllPermissionKinds) {
        PermissionRowView* row = [[PermissionRowView alloc] initWithKind:kind];
        // Weak: a row never keeps the controller alive.
        row.onGrant = ^(PermissionKind tapped) {
            [weakSelf grantTapped:tapped];
        };
        [rows addObject:row];
    }
    _rows = rows;

    NSView* spacer = [[NSView alloc] initWithFrame:NSZeroRect];
    [spacer setContentHuggingPriority:NSLayoutPriorityDefaultLow forOrientation:NSLayoutConstraintOrientationHorizontal];
    NSButton* openSettings = [NSButton buttonWithTitle:MQString(content::kOpenSettingsButton) target:self action:@selector(openSettingsTapped:)];
    NSButton* done = [NSButton buttonWithTitle:MQString(content::kDoneButton) target:self action:@selector(doneTapped:)];
    openSettings.bezelStyle = NSBezelStyleRounded;
    done.bezelStyle = NSBezelStyleRounded;
    done.keyEquivalent = @"\r";
    NSStackView* buttons = [NSStackView stackViewWithViews:@[ spacer, openSettings, done ]];
    buttons.orientation = NSUserInterfaceLayoutOrientationHorizontal;
    buttons.spacing = content::kButtonSpacing;

    _stack = [NSStackView stackViewWithViews:@[ heading, body ]];
    _stack.orientation = NSUserInterfaceLayoutOrientationVertical;
    _stack.alignment = NSLayoutAttributeLeading;
    _stack.spacing = content::kStackSpacing;
    for (PermissionRowView* row in _rows)
        [_stack addArrangedSubview:row];
    [_stack addArrangedSubview:footnote];
    [_stack addArrangedSubview:buttons];
    [_stack setCustomSpacing:content::kSectionSpacing afterView:body];
    [_stack setCustomSpacing:content::kSectionSpacing afterView:_rows.lastObject];
    _stack.translatesAutoresizingMaskIntoConstraints = NO;

    NSView* contentView = _window.contentView;
    [contentView addSubview:_stack];
    NSMutableArray<NSLayoutConstraint*>* constraints = [NSMutableArray array];
    [constraints addObject:[_stack.topAnchor constraintEqualToAnchor:contentView.topAnchor constant:content::kTopMargin]];
    [constraints addObject:[_stack.leadingAnchor constraintEqualToAnchor:contentView.leadingAnchor constant:content::kSideMargin]];
    [constraints addObject:[_stack.trailingAnchor constraintEqualToAnchor:contentView.trailingAnchor constant:-content::kSideMargin]];
    [constraints addObject:[_stack.bottomAnchor constraintEqualToAnchor:contentView.bottomAnchor constant:-content::kBottomMargin]];
    for (NSView* view in @[ body, footnote, buttons ])
        [constraints addObject:[view.widthAnchor constraintEqualToAnchor:_stack.widthAnchor]];
    for (PermissionRowView* row in _rows)
        [constraints addObject:[row.widthAnchor constraintEqualToAnchor:_stack.widthAnchor]];
    [NSLayoutConstraint activateConstraints:constraints];

    [contentView layoutSubtreeIfNeeded];
    [_window setContentSize:NSMakeSize(content::kContentWidth, _stack.fittingSize.height + content::kVerticalMargins)];
    [_window center];
}

- (void)refresh
{
    auto states = _flow->refresh(_open);
    for (std::size_t i = 0; i < _rows.count; ++i)
        [_rows[i] setGranted:states.granted[i]];
    if (states.allGranted && _open)
        [_window close];
}

- (void)grantTapped:(PermissionKind)kind
{
    _flow->grant(kind);
    [self refresh];
}

- (void)openSettingsTapped:(id)sender
{
    (void)sender;
    _flow->openSettings();
}

- (void)doneTapped:(id)sender
{
    (void)sender;
    [_window close];
}

- (void)appBecameActive:(NSNotification*)notification
{
    (void)notification;
    [self refresh];
}

- (void)windowWillClose:(NSNotification*)notification
{
    (void)notification;
    if (!_open)
        return;
    _open = NO;
    [[NSNotificationCenter defaultCenter] removeObserver:self name:NSApplicationDidBecomeActiveNotification object:nil];
    if (_onClose)
        _onClose();
}

@end
