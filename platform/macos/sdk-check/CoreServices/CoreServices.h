// CoreServices: file references and the Apple Event Manager.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

// File references.
struct FSRef {
    UInt8 hidden[80];
};
typedef struct FSRef FSRef;
OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory);

// The Apple Event Manager.
typedef ResType DescType;
typedef FourCharCode AEKeyword;
typedef FourCharCode AEEventClass;
typedef FourCharCode AEEventID;
typedef SInt16 AEReturnID;
typedef SInt32 AETransactionID;
typedef SInt32 AESendMode;
typedef struct OpaqueAEDataStorageType* AEDataStorageType;
typedef AEDataStorageType* AEDataStorage;
struct AEDesc {
    DescType descriptorType;
    AEDataStorage dataHandle;
};
typedef struct AEDesc AEDesc;
typedef AEDesc AEAddressDesc;
typedef AEDesc AERecord;
typedef AERecord AppleEvent;

enum {
    typeNull = 'null',
    typeApplicationBundleID = 'bund',
    typeWildCard = '****',
};
enum {
    kAENoReply = 0x00000001,
    kAEQueueReply = 0x00000002,
    kAEWaitReply = 0x00000003,
};
enum {
    errAENotAEDesc = -1704,
    errAEEventNotPermitted = -1743,
    errAEEventWouldRequireUserConsent = -1744,
    procNotFound = -600,
};

OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result);
OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID, const AEAddressDesc* target, AEReturnID returnID,
    AETransactionID transactionID, AppleEvent* result);
OSErr AEPutParamPtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode, const void* dataPtr, Size dataSize);
OSStatus AESendMessage(const AppleEvent* event, AppleEvent* reply, AESendMode sendMode, long timeOutInTicks);
OSErr AEDisposeDesc(AEDesc* theAEDesc);
OSStatus AEDeterminePermissionToAutomateTarget(const AEAddressDesc* target, AEEventClass theAEEventClass, AEEventID theAEEventID,
    Boolean askUserIfNeeded);

#ifdef __cplusplus
}
#endif
