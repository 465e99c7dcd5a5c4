// The object that every accepted XPC connection exports: it conforms to the
// generated MQHelperXPCProtocol and forwards each method to the one
// MQHelperService, with the same one-shot Reply as the socket channel.
#pragma once

#import "MQHelperXPCProtocol.h"
#import <Foundation/Foundation.h>

#include <memory>

namespace mq {
class MQHelperService;
}

@interface MQHelperXPCExport : NSObject <MQHelperXPCProtocol>
- (instancetype)initWithService:(std::shared_ptr<mq::MQHelperService>)service;
@end
