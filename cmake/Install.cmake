# What `cmake --install` puts where, and the Debian package CPack makes of it
# (scripts/package.sh): the helper, the marquee tool, logicsim, the systemd user
# units, and the client library with its headers, CMake package and pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS marquee-helper marquee logicsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The service names the helper by its installed path, which is known only at
# install time (CPack installs under /usr whatever the build was configured with).
install(FILES packaging/systemd/marquee-helper.socket DESTINATION lib/systemd/user)
install(CODE "
  set(CMAKE_INSTALL_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/packaging/systemd/marquee-helper.service.in\"
    \"${PROJECT_BINARY_DIR}/install/marquee-helper.service\" @ONLY)
  file(INSTALL \"${PROJECT_BINARY_DIR}/install/marquee-helper.service\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\")
")

install(TARGETS marquee-client-shared EXPORT MarqueeClientTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The public headers keep their paths under include/marquee, so that the client's
# own includes ("client/...", "app/ipc/protocol/...") resolve as in the tree.
foreach(header
    client/HelperConnection.h client/ProjectWatchReader.h client/ScrubReader.h client/Version.h
    app/ipc/protocol/MQHelperXPCProtocol.h app/ipc/protocol/WireTuple.h app/ipc/protocol/WireValue.h
    monitors/SharedMemoryBlock.h monitors/SharedMemoryLayout.h
    platform/Expected.h platform/ServiceError.h platform/URL.h platform/UniqueFunction.h)
  get_filename_component(directory ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/marquee/${directory})
endforeach()

set(MQ_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MarqueeClient)
install(EXPORT MarqueeClientTargets NAMESPACE MarqueeClient:: DESTINATION ${MQ_CMAKE_PACKAGE_DIR})
configure_package_config_file(cmake/MarqueeClientConfig.cmake.in ${PROJECT_BINARY_DIR}/MarqueeClientConfig.cmake
  INSTALL_DESTINATION ${MQ_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MarqueeClientConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MarqueeClientConfig.cmake ${PROJECT_BINARY_DIR}/MarqueeClientConfigVersion.cmake
  DESTINATION ${MQ_CMAKE_PACKAGE_DIR})
# The pkg-config file finds its prefix from where it lies, so that a copy
# installed elsewhere (a staging root, a package) still points at its own files.
file(RELATIVE_PATH MQ_PKGCONFIG_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/marquee-client.pc.in ${PROJECT_BINARY_DIR}/marquee-client.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/marquee-client.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marquee-helper)
set(CPACK_PACKAGE_VENDOR "Quillmoor")
set(CPACK_PACKAGE_CONTACT "Marquee developers <marquee@quillmoor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Background helper that lets the Marquee plug-in drive Logic Pro")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst ${PROJECT_SOURCE_DIR}/packaging/debian/prerm ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
