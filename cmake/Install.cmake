# What `cmake --install` puts where, and the Debian packages CPack makes of it
# (scripts/package.sh). Every file belongs to one component, one package each:
#
#   helper       marquee-helper          the helper, the marquee tool, the onboarding
#                                        window, the stored actions' interpreter, user units
#   library      libmarquee-client0      the client library under its soname
#   development  libmarquee-client-dev   headers, the .so link, CMake and pkg-config files
#   logicsim     logicsim                the simulator (the only package needing FFmpeg)
#
# Installing writes only below the install prefix, never into the build tree.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS marquee-helper marquee marquee-onboarding RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT helper)
if(NOT APPLE)
  # Where the helper looks for it, relative to its own directory (logic/CMakeLists.txt).
  install(TARGETS marquee-osascript RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/marquee-helper COMPONENT helper)
endif()
install(TARGETS logicsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT logicsim)
# The interpreter is linked statically on purpose (it starts once per stored action).
install(FILES packaging/debian/marquee-helper.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
  RENAME marquee-helper COMPONENT helper)
install(FILES ${PROJECT_BINARY_DIR}/client/marquee.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT helper)
# The other programs' pages are written by hand (packaging/man/), compressed as Debian wants them.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging/man)
foreach(page marquee-helper:helper marquee-onboarding:helper logicsim:logicsim)
  string(REPLACE ":" ";" page ${page})
  list(GET page 0 name)
  list(GET page 1 component)
  execute_process(COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/man/${name}.1
    OUTPUT_FILE ${PROJECT_BINARY_DIR}/packaging/man/${name}.1.gz COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS packaging/man/${name}.1)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/man/${name}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/client/marquee.bash DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
  RENAME marquee COMPONENT helper)
# Where Debian's zsh and fish look for completions that packages bring.
install(FILES ${PROJECT_BINARY_DIR}/client/_marquee DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/zsh/vendor-completions COMPONENT helper)
install(FILES ${PROJECT_BINARY_DIR}/client/marquee.fish DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/fish/vendor_completions.d COMPONENT helper)

# The user units. Nothing enables them: each user who wants the helper started on
# a plug-in's first connection runs `systemctl --user enable --now marquee-helper.socket`.
# The service names the helper by its installed path, known only at install time
# (CPack installs under /usr whatever the build was configured with), so it is
# written straight into the install root.
set(MQ_SYSTEMD_USER_UNIT_DIR lib/systemd/user)
install(FILES packaging/systemd/marquee-helper.socket DESTINATION ${MQ_SYSTEMD_USER_UNIT_DIR} COMPONENT helper)
file(READ packaging/systemd/marquee-helper.service.in MQ_SERVICE_TEMPLATE)
install(CODE "
  set(CMAKE_INSTALL_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(unit \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${MQ_SYSTEMD_USER_UNIT_DIR}/marquee-helper.service\")
  message(STATUS \"Installing: \${unit}\")
  file(CONFIGURE OUTPUT \"\${unit}\" CONTENT [==[${MQ_SERVICE_TEMPLATE}]==] @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${unit}\")
" COMPONENT helper)

install(TARGETS marquee-client-shared EXPORT MarqueeClientTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development)
# The public headers keep their paths under include/marquee, so that the client's
# own includes ("client/...", "app/ipc/protocol/...") resolve as in the tree.
foreach(header
    client/HelperConnection.h client/ProjectWatchReader.h client/ScrubReader.h client/Version.h
    app/ipc/protocol/MQHelperXPCProtocol.h app/ipc/protocol/WireTuple.h app/ipc/protocol/WireValue.h
    monitors/SharedMemoryBlock.h monitors/SharedMemoryLayout.h
    platform/Expected.h platform/ServiceError.h platform/URL.h platform/UniqueFunction.h)
  get_filename_component(directory ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/marquee/${directory} COMPONENT development)
endforeach()

set(MQ_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MarqueeClient)
install(EXPORT MarqueeClientTargets NAMESPACE MarqueeClient:: DESTINATION ${MQ_CMAKE_PACKAGE_DIR} COMPONENT development)
configure_package_config_file(cmake/MarqueeClientConfig.cmake.in ${PROJECT_BINARY_DIR}/MarqueeClientConfig.cmake
  INSTALL_DESTINATION ${MQ_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MarqueeClientConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MarqueeClientConfig.cmake ${PROJECT_BINARY_DIR}/MarqueeClientConfigVersion.cmake
  DESTINATION ${MQ_CMAKE_PACKAGE_DIR} COMPONENT development)
# The pkg-config file finds its prefix from where it lies, so that a copy
# installed elsewhere (a staging root, a package) still points at its own files.
file(RELATIVE_PATH MQ_PKGCONFIG_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/marquee-client.pc.in ${PROJECT_BINARY_DIR}/marquee-client.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/marquee-client.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# Every package carries the licence terms and the changelog in its own doc folder.
set(MQ_DEBIAN_PACKAGES helper marquee-helper library libmarquee-client0 development libmarquee-client-dev logicsim logicsim)
set(MQ_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
execute_process(COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  OUTPUT_FILE ${MQ_CHANGELOG_GZ} COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS packaging/debian/changelog)
while(MQ_DEBIAN_PACKAGES)
  list(POP_FRONT MQ_DEBIAN_PACKAGES component package)
  install(FILES packaging/debian/copyright ${MQ_CHANGELOG_GZ}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endwhile()

# The Debian packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marquee-helper)
set(CPACK_PACKAGE_VENDOR "Quillmoor")
set(CPACK_PACKAGE_CONTACT "Marquee developers <marquee@quillmoor.invalid>")
# Each package's Description is its own (first line: the synopsis); a project-wide
# summary would be put in front of every one of them.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL helper library development logicsim)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_HELPER_PACKAGE_NAME marquee-helper)
set(CPACK_DEBIAN_HELPER_DESCRIPTION "Background helper that lets the Marquee plug-in drive Logic Pro
The helper serves the Marquee audio plug-in's requests on a user socket and
works Logic Pro's user interface for it: the playhead as SMPTE timecode,
markers, audio placement and bounces with a movie. The package also holds the
marquee command-line tool, the permissions onboarding window, the stored
actions' interpreter and systemd user units (not enabled on installation).")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libmarquee-client0)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# The library's shlibs entry and the linker-cache trigger, as debhelper would
# write them (CPack's own shlibs come with ldconfig calls in maintainer scripts).
set(MQ_LIBRARY_CONTROL ${PROJECT_BINARY_DIR}/packaging/libmarquee-client0)
file(MAKE_DIRECTORY ${MQ_LIBRARY_CONTROL})
file(WRITE ${MQ_LIBRARY_CONTROL}/shlibs
  "libmarquee-client ${PROJECT_VERSION_MAJOR} libmarquee-client${PROJECT_VERSION_MAJOR} (>= ${PROJECT_VERSION})\n")
file(WRITE ${MQ_LIBRARY_CONTROL}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${MQ_LIBRARY_CONTROL}/shlibs ${MQ_LIBRARY_CONTROL}/triggers)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "Client library of the Marquee helper
What a plug-in links to talk to the Marquee helper: typed requests and
replies over the helper's socket, and readers of the transport scrub and
project-watch shared memory.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libmarquee-client-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "Client library of the Marquee helper (development files)
Headers, the CMake package MarqueeClient and the pkg-config file
marquee-client for building plug-ins against libmarquee-client0.")

set(CPACK_DEBIAN_LOGICSIM_PACKAGE_NAME logicsim)
set(CPACK_DEBIAN_LOGICSIM_DESCRIPTION "Simulator of Logic Pro and the desktop for the Marquee helper
logicsim models what the Marquee helper relies on of Logic Pro, System Events
and the desktop, so that the helper can be run, tried and tested on Linux.")
include(CPack)
