// AppKit: the application object, the workspace and running applications,
// screens, the pasteboard, and the windows and views of the onboarding window.
#pragma once

#include <ApplicationServices/ApplicationServices.h>
#import <Foundation/Foundation.h>

typedef CGRect NSRect;
typedef CGSize NSSize;
typedef CGPoint NSPoint;
static inline NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat w, CGFloat h)
{
    return CGRectMake(x, y, w, h);
}
static inline NSSize NSMakeSize(CGFloat w, CGFloat h)
{
    return CGSizeMake(w, h);
}
extern const NSRect NSZeroRect;

// The application.
@class NSApplication, NSWindow, NSColor;

typedef NSInteger NSApplicationActivationPolicy;
enum {
    NSApplicationActivationPolicyRegular = 0,
    NSApplicationActivationPolicyAccessory = 1,
    NSApplicationActivationPolicyProhibited = 2,
};

extern NSNotificationName const NSApplicationDidBecomeActiveNotification;

@protocol NSApplicationDelegate <NSObject>
@optional
- (void)applicationDidFinishLaunching:(NSNotification*)notification;
- (BOOL)applicationShouldTerminateAfterLastWindowClosed:(NSApplication*)sender;
@end

@interface NSResponder : NSObject
@end

@interface NSApplication : NSResponder
+ (NSApplication*)sharedApplication;
@property (weak) id<NSApplicationDelegate> delegate;
- (void)run;
- (void)terminate:(id)sender;
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy;
- (void)activateIgnoringOtherApps:(BOOL)flag;
@end

// Running applications and the workspace.
@interface NSRunningApplication : NSObject
@property (readonly, getter=isTerminated) BOOL terminated;
@property (readonly, copy) NSString* bundleIdentifier;
@property (readonly) pid_t processIdentifier;
@property (readonly, copy) NSString* localizedName;
@property (readonly) NSApplicationActivationPolicy activationPolicy;
@end

@interface NSWorkspaceOpenConfiguration : NSObject <NSCopying>
+ (instancetype)configuration;
@property BOOL activates;
@property BOOL addsToRecentItems;
@property BOOL createsNewApplicationInstance;
@end

@interface NSWorkspace : NSObject
@property (class, readonly, strong) NSWorkspace* sharedWorkspace;
@property (readonly, strong) NSNotificationCenter* notificationCenter;
@property (readonly, copy) NSArray<NSRunningApplication*>* runningApplications;
- (BOOL)openURL:(NSURL*)url;
- (NSURL*)URLForApplicationWithBundleIdentifier:(NSString*)bundleIdentifier;
- (void)openApplicationAtURL:(NSURL*)applicationURL
               configuration:(NSWorkspaceOpenConfiguration*)configuration
           completionHandler:(void (^)(NSRunningApplication* app, NSError* error))completionHandler;
@end

// Screens.
@interface NSScreen : NSObject
@property (class, readonly, copy) NSArray<NSScreen*>* screens;
@property (class, readonly, strong) NSScreen* mainScreen;
@property (readonly) NSRect frame;
@property (readonly) NSRect visibleFrame;
@end

// The pasteboard.
typedef NSString* NSPasteboardType;

@protocol NSPasteboardWriting <NSObject>
@end

@interface NSPasteboardItem : NSObject <NSPasteboardWriting>
@property (readonly, copy) NSArray<NSPasteboardType>* types;
- (NSData*)dataForType:(NSPasteboardType)type;
- (BOOL)setData:(NSData*)data forType:(NSPasteboardType)type;
@end

@interface NSPasteboard : NSObject
@property (class, readonly, strong) NSPasteboard* generalPasteboard;
@property (readonly, copy) NSArray<NSPasteboardItem*>* pasteboardItems;
- (NSInteger)clearContents;
- (BOOL)writeObjects:(NSArray<id<NSPasteboardWriting>>*)objects;
@end

// Colours and fonts.
typedef struct CGColor* CGColorRef;

@interface NSColor : NSObject <NSCopying, NSSecureCoding>
@property (class, strong, readonly) NSColor* labelColor;
@property (class, strong, readonly) NSColor* secondaryLabelColor;
@property (class, strong, readonly) NSColor* systemGreenColor;
@property (class, strong, readonly) NSColor* systemRedColor;
@property (readonly) CGColorRef CGColor;
@end

typedef CGFloat NSFontWeight;
extern const NSFontWeight NSFontWeightRegular;
extern const NSFontWeight NSFontWeightSemibold;

@interface NSFont : NSObject <NSCopying, NSSecureCoding>
+ (NSFont*)systemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight;
@end

// Layers (Core Animation), as far as a layer-backed view uses them.
@interface CALayer : NSObject
@property CGColorRef backgroundColor;
@property CGFloat cornerRadius;
@end

// Layout.
typedef float NSLayoutPriority;
static const NSLayoutPriority NSLayoutPriorityDefaultLow = 250;

typedef NSInteger NSLayoutConstraintOrientation;
enum {
    NSLayoutConstraintOrientationHorizontal = 0,
    NSLayoutConstraintOrientationVertical = 1,
};

typedef NSInteger NSLayoutAttribute;
enum {
    NSLayoutAttributeLeading = 5,
    NSLayoutAttributeCenterY = 10,
};

typedef NSInteger NSUserInterfaceLayoutOrientation;
enum {
    NSUserInterfaceLayoutOrientationHorizontal = 0,
    NSUserInterfaceLayoutOrientationVertical = 1,
};

@interface NSLayoutConstraint : NSObject
+ (void)activateConstraints:(NSArray<NSLayoutConstraint*>*)constraints;
@end

@interface NSLayoutAnchor<AnchorType> : NSObject
- (NSLayoutConstraint*)constraintEqualToAnchor:(NSLayoutAnchor<AnchorType>*)anchor;
- (NSLayoutConstraint*)constraintEqualToAnchor:(NSLayoutAnchor<AnchorType>*)anchor constant:(CGFloat)c;
@end
@class NSLayoutXAxisAnchor, NSLayoutYAxisAnchor, NSLayoutDimension;
@interface NSLayoutXAxisAnchor : NSLayoutAnchor<NSLayoutXAxisAnchor*>
@end
@interface NSLayoutYAxisAnchor : NSLayoutAnchor<NSLayoutYAxisAnchor*>
@end
@interface NSLayoutDimension : NSLayoutAnchor<NSLayoutDimension*>
- (NSLayoutConstraint*)constraintEqualToConstant:(CGFloat)c;
@end

// Views.
@interface NSView : NSResponder
- (instancetype)initWithFrame:(NSRect)frameRect;
@property BOOL wantsLayer;
@property (strong) CALayer* layer;
@property (readonly) BOOL wantsUpdateLayer;
- (void)updateLayer;
@property BOOL needsDisplay;
@property (getter=isHidden) BOOL hidden;
@property BOOL translatesAutoresizingMaskIntoConstraints;
@property (readonly) NSSize fittingSize;
- (void)addSubview:(NSView*)view;
- (void)layoutSubtreeIfNeeded;
- (void)setContentHuggingPriority:(NSLayoutPriority)priority forOrientation:(NSLayoutConstraintOrientation)orientation;
@property (readonly, strong) NSLayoutXAxisAnchor* leadingAnchor;
@property (readonly, strong) NSLayoutXAxisAnchor* trailingAnchor;
@property (readonly, strong) NSLayoutYAxisAnchor* topAnchor;
@property (readonly, strong) NSLayoutYAxisAnchor* bottomAnchor;
@property (readonly, strong) NSLayoutDimension* widthAnchor;
@property (readonly, strong) NSLayoutDimension* heightAnchor;
@end

@interface NSStackView : NSView
+ (instancetype)stackViewWithViews:(NSArray<NSView*>*)views;
@property NSUserInterfaceLayoutOrientation orientation;
@property NSLayoutAttribute alignment;
@property CGFloat spacing;
- (void)addArrangedSubview:(NSView*)view;
- (void)setCustomSpacing:(CGFloat)spacing afterView:(NSView*)view;
- (void)setHuggingPriority:(NSLayoutPriority)priority forOrientation:(NSLayoutConstraintOrientation)orientation;
@end

@interface NSControl : NSView
@end

@interface NSTextField : NSControl
+ (instancetype)labelWithString:(NSString*)stringValue;
+ (instancetype)wrappingLabelWithString:(NSString*)stringValue;
@property (strong) NSFont* font;
@property (copy) NSColor* textColor;
@property NSInteger maximumNumberOfLines;
@property CGFloat preferredMaxLayoutWidth;
@end

typedef NSUInteger NSBezelStyle;
enum {
    NSBezelStyleRounded = 1,
};

@interface NSButton : NSControl
+ (instancetype)buttonWithTitle:(NSString*)title target:(id)target action:(SEL)action;
@property NSBezelStyle bezelStyle;
@property (copy) NSString* keyEquivalent;
@end

// Windows.
typedef NSUInteger NSWindowStyleMask;
enum {
    NSWindowStyleMaskBorderless = 0,
    NSWindowStyleMaskTitled = 1 << 0,
    NSWindowStyleMaskClosable = 1 << 1,
};
typedef NSUInteger NSBackingStoreType;
enum {
    NSBackingStoreBuffered = 2,
};

@protocol NSWindowDelegate <NSObject>
@optional
- (void)windowWillClose:(NSNotification*)notification;
@end

@interface NSWindow : NSResponder
- (instancetype)initWithContentRect:(NSRect)contentRect
                          styleMask:(NSWindowStyleMask)style
                            backing:(NSBackingStoreType)backingStoreType
                              defer:(BOOL)flag;
@property (copy) NSString* title;
@property (weak) id<NSWindowDelegate> delegate;
@property (strong) NSView* contentView;
@property (getter=isReleasedWhenClosed) BOOL releasedWhenClosed;
- (void)setContentSize:(NSSize)size;
- (void)center;
- (void)close;
- (void)makeKeyAndOrderFront:(id)sender;
@end
