#import "app/macos/MQHelperXPCExport.h"

#include "app/MQHelperService.h"
#include "app/macos/XPCValues.h"

@implementation MQHelperXPCExport {
    std::shared_ptr<mq::MQHelperService> _service;
}

- (instancetype)initWithService:(std::shared_ptr<mq::MQHelperService>)service
{
    self = [super init];
    if (self)
        _service = std::move(service);
    return self;
}

#include "MQHelperXPCExportMethods.inc"

@end
