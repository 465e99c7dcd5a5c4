// MQHelperXPCListener: listens on the Mach service "com.quillmoor.marquee.helper",
// owns the one MQHelperService and exports it on every accepted connection.
#pragma once

#import <Foundation/Foundation.h>

#include "app/MQHelperService.h"

#include <memory>

@interface MQHelperXPCListener : NSObject <NSXPCListenerDelegate>
/// Creates the logger, the listener for the Mach service and the service, in that order.
- (instancetype)initWithEnvironment:(mq::ServiceEnvironment)environment;
/// Resumes the listener and logs that it did.
- (void)start;
@end
