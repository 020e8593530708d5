# cmake --install: rdm in bin/, librdcore and librdplugin (versioned) in the
# library folder, the platform libraries they need in its private rdm/
# subfolder, the public headers in include/rdm/, a CMake package
# (find_package(rdm): rdm::rdcore) and a pkg-config file (rdm.pc). Every
# binary finds its libraries through a run-time search path relative to
# itself, so the tree works wherever it is installed.
include(CMakePackageConfigHelpers)

set(RDM_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/rdm)
file(RELATIVE_PATH rdm_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
file(RELATIVE_PATH rdm_bin_to_private /${CMAKE_INSTALL_BINDIR} /${RDM_PRIVATE_LIBDIR})

set(rdm_platform_libraries qxbcpp qxlog repadm qxstep qxsstr qxdac qxphlp engine)
set_target_properties(rdcore PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
                                        INSTALL_RPATH "$ORIGIN;$ORIGIN/rdm")
set_target_properties(${rdm_platform_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN;$ORIGIN/..")
set_target_properties(rdm PROPERTIES INSTALL_RPATH "$ORIGIN/${rdm_bin_to_lib};$ORIGIN/${rdm_bin_to_private}")
target_compile_definitions(rdm PRIVATE RDM_INSTALLED_PLUGIN_DIR="${rdm_bin_to_lib}")

install(TARGETS rdm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/share/rdm.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 OPTIONAL)
install(FILES ${CMAKE_BINARY_DIR}/share/rdm.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME rdm)
install(TARGETS rdcore EXPORT rdmTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/rdm)
# The platform libraries live in the private folder. They are in the export
# too: qxbcpp is part of rdcore's interface (its strings and values), and the
# others are what the linker needs to resolve rdcore's own dependencies.
install(TARGETS ${rdm_platform_libraries} EXPORT rdmTargets LIBRARY DESTINATION ${RDM_PRIVATE_LIBDIR})
if(TARGET rdplugin)
  set_target_properties(rdplugin PROPERTIES INSTALL_RPATH "$ORIGIN;$ORIGIN/rdm")
  install(TARGETS rdplugin LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

file(GLOB rdm_public_headers ${CMAKE_SOURCE_DIR}/include/*.h)
install(FILES ${rdm_public_headers} ${CMAKE_SOURCE_DIR}/platform/qxbcpp.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/rdm)

install(EXPORT rdmTargets NAMESPACE rdm:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/rdm)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/rdmConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/rdmConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/rdm)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/rdmConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/rdmConfig.cmake ${CMAKE_BINARY_DIR}/rdmConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/rdm)

# Relocatable: the prefix is found from the file's own place.
file(RELATIVE_PATH rdm_pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" rdm_pc_to_prefix "${rdm_pc_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/rdm.pc.in ${CMAKE_BINARY_DIR}/rdm.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/rdm.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# A Debian package of the installed tree (scripts/package). Its dependencies
# are computed from the libraries the binaries link (dpkg-shlibdeps); the
# private folder's libraries are the package's own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rdm)
set(CPACK_PACKAGE_CONTACT "rdm maintainers <rdm@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "reference data management: code lists with versions and language-tagged texts")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS usr/${CMAKE_INSTALL_LIBDIR} usr/${RDM_PRIVATE_LIBDIR})
include(CPack)
