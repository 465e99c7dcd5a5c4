// Foundation: the object classes, strings, data, URLs, collections, errors,
// notifications, AppleScript and XPC connections that the backend uses.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <objc/NSObject.h>
#include <stdint.h>

typedef long NSInteger;
typedef unsigned long NSUInteger;
typedef NSUInteger NSStringEncoding;
enum {
    NSUTF8StringEncoding = 4,
};

@class NSString, NSData, NSURL, NSError, NSArray<ObjectType>, NSDictionary<KeyType, ObjectType>;

@protocol NSCopying
@end
@protocol NSSecureCoding
@end

typedef struct {
    unsigned long state;
    id __unsafe_unretained* itemsPtr;
    unsigned long* mutationsPtr;
    unsigned long extra[5];
} NSFastEnumerationState;

@protocol NSFastEnumeration
- (NSUInteger)countByEnumeratingWithState:(NSFastEnumerationState*)state
                                  objects:(id __unsafe_unretained[])buffer
                                    count:(NSUInteger)len;
@end

@interface NSString : NSObject <NSCopying, NSSecureCoding>
- (instancetype)initWithBytes:(const void*)bytes length:(NSUInteger)len encoding:(NSStringEncoding)encoding;
@property (readonly) const char* UTF8String;
@end

@interface NSData : NSObject <NSCopying, NSSecureCoding>
+ (instancetype)dataWithBytes:(const void*)bytes length:(NSUInteger)length;
@property (readonly) const void* bytes;
@property (readonly) NSUInteger length;
@end

@interface NSURL : NSObject <NSCopying, NSSecureCoding>
+ (instancetype)URLWithString:(NSString*)URLString;
@property (readonly, copy) NSString* absoluteString;
@property (readonly, copy) NSString* path;
@property (readonly, getter=isFileURL) BOOL fileURL;
@end

@interface NSArray<__covariant ObjectType> : NSObject <NSCopying, NSSecureCoding, NSFastEnumeration>
+ (instancetype)arrayWithObjects:(const ObjectType _Nonnull[_Nonnull])objects count:(NSUInteger)cnt;
@property (readonly) NSUInteger count;
@property (readonly) ObjectType lastObject;
- (ObjectType)objectAtIndexedSubscript:(NSUInteger)idx;
@end

@interface NSMutableArray<ObjectType> : NSArray<ObjectType>
+ (instancetype)array;
- (void)addObject:(ObjectType)anObject;
@end

@interface NSDictionary<__covariant KeyType, __covariant ObjectType> : NSObject <NSCopying, NSSecureCoding, NSFastEnumeration>
+ (instancetype)dictionaryWithObject:(ObjectType)object forKey:(KeyType<NSCopying>)key;
@end

typedef NSString* NSErrorDomain;
typedef NSString* NSErrorUserInfoKey;
extern NSErrorUserInfoKey const NSLocalizedDescriptionKey;

@interface NSError : NSObject <NSCopying, NSSecureCoding>
+ (instancetype)errorWithDomain:(NSErrorDomain)domain code:(NSInteger)code userInfo:(NSDictionary<NSErrorUserInfoKey, id>*)dict;
@property (readonly, copy) NSErrorDomain domain;
@property (readonly) NSInteger code;
@property (readonly, copy) NSString* localizedDescription;
@end

@interface NSProcessInfo : NSObject
@property (class, readonly, strong) NSProcessInfo* processInfo;
@property (readonly) int processIdentifier;
@end

typedef NSString* NSNotificationName;

@interface NSNotification : NSObject <NSCopying>
@property (readonly, copy) NSNotificationName name;
@end

@interface NSOperationQueue : NSObject
@end

@interface NSNotificationCenter : NSObject
- (id<NSObject>)addObserverForName:(NSNotificationName)name
                            object:(id)obj
                             queue:(NSOperationQueue*)queue
                        usingBlock:(void (^)(NSNotification* notification))block;
@property (class, readonly, strong) NSNotificationCenter* defaultCenter;
- (void)addObserver:(id)observer selector:(SEL)aSelector name:(NSNotificationName)aName object:(id)anObject;
- (void)removeObserver:(id)observer;
- (void)removeObserver:(id)observer name:(NSNotificationName)aName object:(id)anObject;
@end

@interface NSDistributedNotificationCenter : NSNotificationCenter
+ (NSDistributedNotificationCenter*)defaultCenter;
@end

// AppleScript.
@interface NSAppleEventDescriptor : NSObject <NSCopying, NSSecureCoding>
@end

@interface NSAppleScript : NSObject <NSCopying>
- (instancetype)initWithSource:(NSString*)source;
- (BOOL)compileAndReturnError:(NSDictionary<NSString*, id>* __autoreleasing*)errorInfo;
- (NSAppleEventDescriptor*)executeAndReturnError:(NSDictionary<NSString*, id>* __autoreleasing*)errorInfo;
@end

// XPC connections.
@class NSXPCConnection, NSXPCListener;

@interface NSXPCInterface : NSObject
+ (NSXPCInterface*)interfaceWithProtocol:(Protocol*)protocol;
@end

@protocol NSXPCListenerDelegate <NSObject>
- (BOOL)listener:(NSXPCListener*)listener shouldAcceptNewConnection:(NSXPCConnection*)newConnection;
@end

@interface NSXPCListener : NSObject
- (instancetype)initWithMachServiceName:(NSString*)name;
@property (weak) id<NSXPCListenerDelegate> delegate;
- (void)resume;
- (void)invalidate;
@end

typedef NSUInteger NSXPCConnectionOptions;
enum {
    NSXPCConnectionPrivileged = (1 << 12UL),
};

@interface NSXPCConnection : NSObject
- (instancetype)initWithMachServiceName:(NSString*)name options:(NSXPCConnectionOptions)options;
@property (retain) NSXPCInterface* exportedInterface;
@property (retain) id exportedObject;
@property (retain) NSXPCInterface* remoteObjectInterface;
@property (copy) void (^interruptionHandler)(void);
@property (copy) void (^invalidationHandler)(void);
@property (readonly) int processIdentifier;
- (id)remoteObjectProxyWithErrorHandler:(void (^)(NSError* error))handler;
- (void)resume;
- (void)invalidate;
@end
