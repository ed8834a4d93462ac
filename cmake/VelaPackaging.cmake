# Debian packages, one per install component (cmake/VelaInstall.cmake), made
# from the files of a build:
#   cpack -G DEB            (scripts/build-debs builds and runs it)
# libvelaglobal2 carries the libraries, libvelaglobal-dev the headers, the
# CMake package and the plug-in helper, velaglobal-tools velahost. The
# dependencies on other packages are computed by dpkg-shlibdeps; those
# between the three are the components' own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velaglobal)
set(CPACK_PACKAGE_VENDOR "VelaGlobal developers")
set(CPACK_PACKAGE_CONTACT "VelaGlobal developers <velaglobal@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The packaging's own revision: these are not native Debian packages.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/RemoveRunpath.cmake)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE velaglobal)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# velahost needs the libraries of libvelaglobal2, which is not installed while
# the packages are made: they are found where the build put them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvelaglobal2)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The shlibs file that lets packages built against the library depend on
# it, and the trigger that refreshes the loader's cache.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvelaglobal-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The CMake package finds Qt's own on the machine that builds against it.
if(VELA_USE_QT5)
    set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qtbase5-dev")
else()
    set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qt6-base-dev")
endif()
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME velaglobal-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "VelaGlobal library"
    DESCRIPTION "Shared application-data library of the Vela image editor
The library that the editor and its plug-ins link against: folders, settings,
preferences, plug-in loading, brush registry and presets, logging and crash
dumps. Also carries the editor's core and plug-in base libraries it links.")
cpack_add_component(dev DISPLAY_NAME "VelaGlobal development files" DEPENDS runtime
    DESCRIPTION "Development files of the VelaGlobal library
Headers, the CMake package (find_package(VelaGlobal)) and the plug-in helper
vela_add_plugin(), for building the editor's parts and its plug-ins.")
cpack_add_component(tools DISPLAY_NAME "VelaGlobal tools" DEPENDS runtime
    DESCRIPTION "Command-line host of the VelaGlobal library
velahost starts and stops the library as the editor does and shows what it
knows: a report, a per-user data folder's state, plug-in checks, presets.")

# Each package carries its copyright and changelog under its own name.
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in
    ${CMAKE_BINARY_DIR}/debian/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
    COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/debian/changelog.Debian
    DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian
)
add_custom_target(VelaDebianChangelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
foreach(component runtime dev tools)
    string(TOUPPER ${component} upper)
    install(FILES
        ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
        ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
        COMPONENT ${component}
    )
endforeach()
