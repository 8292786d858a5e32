# What `cmake --install` lays out for hosts: the library (and its import library on Windows), the
# header, a CMake package (find_package(tarvelmond) gives the imported target tarvelmond::tarvelmond)
# and a pkg-config file. Both descriptions locate the prefix from where they lie, so an installed tree
# may be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

target_include_directories(tarvelmond INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                                $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS tarvelmond EXPORT tarvelmondTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/tarvelmond.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/tarvelmond)
install(EXPORT tarvelmondTargets NAMESPACE tarvelmond:: DESTINATION ${package_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/tarvelmondConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package/tarvelmondConfig.cmake
                              INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/tarvelmondConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/tarvelmondConfig.cmake
              ${CMAKE_BINARY_DIR}/package/tarvelmondConfigVersion.cmake
        DESTINATION ${package_dir})

# pkg-config finds the prefix from the file's own folder (${pcfiledir}).
file(RELATIVE_PATH pkgconfig_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" pkgconfig_to_prefix "${pkgconfig_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tarvelmond.pc.in ${CMAKE_BINARY_DIR}/package/tarvelmond.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/tarvelmond.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
