#import "app/macos/MQHelperXPCListener.h"

#import "app/macos/MQHelperXPCExport.h"
#import "MQHelperXPCProtocol.h"

#include "protocol/ServiceEndpoint.h"
#include "platform/Log.h"

#include <string>

namespace {
const mq::log::Logger& xpcLog()
{
    static const mq::log::Logger log("helper.xpc");
    return log;
}
} // namespace

@implementation MQHelperXPCListener {
    NSXPCListener* _listener;
    std::shared_ptr<mq::MQHelperService> _service;
    MQHelperXPCExport* _exported;
}

- (instancetype)initWithEnvironment:(mq::ServiceEnvironment)environment
{
    self = [super init];
    if (!self)
        return nil;
    std::string name(mq::ipc::kServiceName);
    _listener = [[NSXPCListener alloc] initWithMachServiceName:[[NSString alloc] initWithBytes:name.data()
                                                                                         length:name.size()
                                                                                       encoding:NSUTF8StringEncoding]];
    _service = std::make_shared<mq::MQHelperService>(std::move(environment));
    _exported = [[MQHelperXPCExport alloc] initWithService:_service];
    _listener.delegate = self;
    return self;
}

- (void)start
{
    [_listener resume];
    xpcLog().info("XPC listener resumed on {}", mq::ipc::kServiceName);
}

- (BOOL)listener:(NSXPCListener*)listener shouldAcceptNewConnection:(NSXPCConnection*)connection
{
    (void)listener;
    connection.exportedInterface = [NSXPCInterface interfaceWithProtocol:@protocol(MQHelperXPCProtocol)];
    connection.exportedObject = _exported;
    // Both handlers only log, and hold the listener weakly: a client that goes
    // away leaves every monitor it started running until a stop request arrives.
    __weak MQHelperXPCListener* weakSelf = self;
    connection.invalidationHandler = ^{
        if (weakSelf)
            xpcLog().info("client connection invalidated");
    };
    connection.interruptionHandler = ^{
        if (weakSelf)
            xpcLog().info("client connection interrupted");
    };
    [connection resume];
    xpcLog().info("accepted new client connection (pid {})", connection.processIdentifier);
    return YES;
}

@end
