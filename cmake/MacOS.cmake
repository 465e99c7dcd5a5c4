# The macOS build: MarqueeHelper.app over the real frameworks (platform/macos,
# app/macos), its launch agent, the client library over NSXPCConnection, the
# AppKit onboarding window and the seam's contract tests. The Linux-only pieces
# (the socket listener and systemd, logicsim, the interpreter stand-in, the Qt
# window) are left out. Included from the top-level CMakeLists.txt on APPLE.
#
# Not built on the project's Linux machine: there, scripts/check-macos.sh
# type-checks the sources against platform/macos/sdk-check. See docs/macos.md.

enable_language(OBJCXX)
set(CMAKE_OBJCXX_STANDARD 20)
set(CMAKE_OBJCXX_STANDARD_REQUIRED ON)
if(NOT CMAKE_OSX_DEPLOYMENT_TARGET)
  set(CMAKE_OSX_DEPLOYMENT_TARGET 13.0)
endif()
# ARC and blocks for every Objective-C++ file, as the check compiles them.
add_compile_options($<$<COMPILE_LANGUAGE:OBJCXX>:-fobjc-arc> $<$<COMPILE_LANGUAGE:OBJCXX>:-fblocks>)
# The shared warning set names GCC-only options.
target_compile_options(mq_warnings INTERFACE -Wno-unknown-warning-option)

set(MQ_CODESIGN_IDENTITY "-" CACHE STRING "codesign identity: \"-\" signs ad hoc, else a Developer ID Application identity")
set(MQ_HELPER_INSTALL_BUNDLE "/Applications/MarqueeHelper.app" CACHE PATH
  "Where MarqueeHelper.app is installed: the launch agent starts it from there")

find_package(Threads REQUIRED)
find_package(fmt REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
find_package(CURL REQUIRED)
# Only the build-time generator of the stored actions uses OpenSSL (random key
# and IVs); the helper deciphers them with CommonCrypto.
find_package(OpenSSL REQUIRED)
find_path(MQ_MSGPACK_INCLUDE_DIR msgpack.hpp REQUIRED)
add_library(mq_msgpack INTERFACE)
target_include_directories(mq_msgpack SYSTEM INTERFACE ${MQ_MSGPACK_INCLUDE_DIR})
target_compile_definitions(mq_msgpack INTERFACE MSGPACK_NO_BOOST MSGPACK_DEFAULT_API_VERSION=3)

include_directories(${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)

# The platform: queues on GCD and CFRunLoop, the log on os_log, the cipher on
# CommonCrypto, and the seam over the frameworks.
mq_add_library(mq_url base/URL.cpp)
mq_add_library(mq_platform platform/macos/Dispatch.mm platform/macos/Log.mm
  platform/CallingThreadRunLoop.cpp platform/ChildProcessPosix.cpp platform/ExecutablePath.cpp platform/LogCapture.cpp platform/SleepForSeconds.cpp)
target_link_libraries(mq_platform PUBLIC mq_url fmt::fmt Threads::Threads "-framework CoreFoundation")
mq_add_library(mq_aes platform/macos/AESCipherCommonCrypto.mm)
mq_add_library(mq_platform_macos
  platform/macos/AXElementTable.mm
  platform/macos/CFValueConversion.mm
  platform/macos/MacAccessibility.mm
  platform/macos/MacDesktop.mm
  platform/macos/MacInputEvents.mm
  platform/macos/MacScripting.mm
  platform/macos/MacWorkspace.mm)
target_link_libraries(mq_platform_macos PUBLIC mq_platform
  "-framework ApplicationServices" "-framework CoreServices" "-framework AppKit" "-framework Foundation")

# The layers above the seam, as on Linux.
add_subdirectory(timecode)
add_subdirectory(ax)
add_subdirectory(logic)
add_subdirectory(monitors)
add_subdirectory(maintenance)
mq_add_library(mq_permissions permissions/Permissions.cpp)
target_link_libraries(mq_permissions PUBLIC mq_platform mq_ax mq_logic)
mq_add_library(mq_onboarding_flow permissions/OnboardingFlow.cpp)
target_link_libraries(mq_onboarding_flow PUBLIC mq_platform)

# The request table and the service.
mq_add_library(mq_ipc protocol/Frame.cpp protocol/ParameterNames.cpp protocol/ServiceEndpoint.cpp)
target_link_libraries(mq_ipc PUBLIC mq_url PRIVATE mq_msgpack)
mq_add_library(mq_app app/MQHelperService.cpp app/ipc/server/Reply.cpp)
target_link_libraries(mq_app PUBLIC mq_ipc mq_platform mq_monitors mq_logic mq_controlbar
  PRIVATE mq_logic_actions mq_logic_operations mq_maintenance mq_permissions)

# The Objective-C side of MQHelperXPCProtocol, generated from the request table.
mq_add_executable(mq-objc-protocol-gen app/macos/generator/GenerateObjCProtocol.cpp protocol/ParameterNames.cpp)
set(MQ_XPC_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated/xpc)
set(MQ_XPC_GENERATED
  ${MQ_XPC_GENERATED_DIR}/MQHelperXPCProtocol.h
  ${MQ_XPC_GENERATED_DIR}/MQHelperXPCExportMethods.inc
  ${MQ_XPC_GENERATED_DIR}/MQHelperXPCClientCalls.inc)
add_custom_command(
  OUTPUT ${MQ_XPC_GENERATED}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MQ_XPC_GENERATED_DIR}
  COMMAND mq-objc-protocol-gen ${MQ_XPC_GENERATED_DIR}
  DEPENDS mq-objc-protocol-gen ${PROJECT_SOURCE_DIR}/include/marquee/MQHelperXPCProtocol.h
  COMMENT "Generating MQHelperXPCProtocol from the request table"
  VERBATIM)
add_custom_target(mq_xpc_generated DEPENDS ${MQ_XPC_GENERATED})

# MarqueeHelper.app: a background application (LSUIElement) with the XPC listener.
configure_file(packaging/macos/Info.plist.in ${CMAKE_BINARY_DIR}/MarqueeHelper-Info.plist @ONLY)
add_executable(MarqueeHelper MACOSX_BUNDLE
  app/macos/main.mm
  app/macos/AppDelegate.mm
  app/macos/MQHelperXPCListener.mm
  app/macos/MQHelperXPCExport.mm)
add_dependencies(MarqueeHelper mq_xpc_generated)
target_include_directories(MarqueeHelper PRIVATE ${MQ_XPC_GENERATED_DIR})
target_link_libraries(MarqueeHelper PRIVATE mq_warnings mq_app mq_platform_macos "-framework AppKit" "-framework Foundation")
set_target_properties(MarqueeHelper PROPERTIES MACOSX_BUNDLE_INFO_PLIST ${CMAKE_BINARY_DIR}/MarqueeHelper-Info.plist)
# Signed after every link: ad hoc by default, or with a Developer ID and the
# hardened runtime (which needs the Apple Events entitlement).
add_custom_command(TARGET MarqueeHelper POST_BUILD
  COMMAND codesign --force --options runtime --timestamp=none
          --entitlements ${PROJECT_SOURCE_DIR}/packaging/macos/MarqueeHelper.entitlements
          --sign ${MQ_CODESIGN_IDENTITY} $<TARGET_BUNDLE_DIR:MarqueeHelper>
  VERBATIM)

# The launch agent that registers the Mach service.
configure_file(packaging/macos/com.quillmoor.marquee.helper.plist.in
  ${CMAKE_BINARY_DIR}/com.quillmoor.marquee.helper.plist @ONLY)

# The client library: HelperConnection over NSXPCConnection.
mq_add_library(marquee-client
  app/macos/HelperConnectionXPC.mm client/ProjectWatchReader.cpp client/ScrubReader.cpp client/Version.cpp)
add_dependencies(marquee-client mq_xpc_generated)
target_include_directories(marquee-client PRIVATE ${MQ_XPC_GENERATED_DIR})
target_link_libraries(marquee-client PUBLIC mq_ipc mq_shm "-framework Foundation")
target_compile_definitions(marquee-client PRIVATE MQ_VERSION="${PROJECT_VERSION}")

# The onboarding window in AppKit, from the same content table and flow as the Qt one.
add_executable(marquee-onboarding MACOSX_BUNDLE
  app/macos/onboarding/main.mm
  app/macos/onboarding/PermissionsOnboardingWindowController.mm
  app/macos/onboarding/PermissionRowView.mm
  app/macos/onboarding/StatusDotView.mm
  app/onboarding/PlatformOnboardingPermissions.cpp)
target_link_libraries(marquee-onboarding PRIVATE mq_warnings mq_onboarding_flow mq_permissions mq_platform_macos
  "-framework AppKit" "-framework QuartzCore")

install(TARGETS MarqueeHelper BUNDLE DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/com.quillmoor.marquee.helper.plist DESTINATION LaunchAgents)

# The seam's contract tests against the macOS backend: `ctest -L macos-contract`.
if(MQ_BUILD_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  configure_file(packaging/macos/ContractTestApp-Info.plist.in ${CMAKE_BINARY_DIR}/ContractTestApp-Info.plist @ONLY)
  add_executable(marquee-contract-app MACOSX_BUNDLE tests/contract/macos/ContractTestApplication.mm)
  target_link_libraries(marquee-contract-app PRIVATE mq_warnings "-framework AppKit")
  set_target_properties(marquee-contract-app PROPERTIES MACOSX_BUNDLE_INFO_PLIST ${CMAKE_BINARY_DIR}/ContractTestApp-Info.plist)

  add_executable(seam_contract_tests tests/contract/SeamContractTest.cpp tests/contract/macos/MacContractTarget.mm)
  target_link_libraries(seam_contract_tests PRIVATE mq_warnings mq_platform_macos GTest::gtest GTest::gtest_main)
  target_compile_definitions(seam_contract_tests PRIVATE MQ_CONTRACT_APP_PATH="$<TARGET_BUNDLE_DIR:marquee-contract-app>")
  add_dependencies(seam_contract_tests marquee-contract-app)
  gtest_discover_tests(seam_contract_tests TEST_PREFIX "seam_contract_tests." PROPERTIES LABELS macos-contract TIMEOUT 120)
endif()
