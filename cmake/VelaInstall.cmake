# Installation: the library, its headers and a CMake package, so that
#   find_package(VelaGlobal CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE VelaGlobal::VelaGlobal)
# works from the install prefix.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VELA_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VelaGlobal)

# Installed libraries find the ones they link (the editor's stand-ins)
# beside themselves.
if(UNIX AND NOT APPLE)
    set_target_properties(${VELA_INSTALL_TARGETS} PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

install(TARGETS ${VELA_INSTALL_TARGETS}
    EXPORT VelaGlobalTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/VelaGlobal
    FILES_MATCHING PATTERN "*.h"
)
install(EXPORT VelaGlobalTargets
    NAMESPACE VelaGlobal::
    DESTINATION ${VELA_INSTALL_CMAKEDIR}
)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VelaGlobalConfig.cmake.in
    ${CMAKE_BINARY_DIR}/VelaGlobalConfig.cmake
    INSTALL_DESTINATION ${VELA_INSTALL_CMAKEDIR}
)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VelaGlobalConfigVersion.cmake
    COMPATIBILITY SameMajorVersion
)
install(FILES
    ${CMAKE_BINARY_DIR}/VelaGlobalConfig.cmake
    ${CMAKE_BINARY_DIR}/VelaGlobalConfigVersion.cmake
    DESTINATION ${VELA_INSTALL_CMAKEDIR}
)
