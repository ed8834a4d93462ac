# Run by CPack once it has laid out the packages' files, before it packs
# them. The installed libraries and velahost carry a search path relative to
# themselves, which lets an install into any prefix find its own libraries;
# under /usr the dynamic loader finds them itself, and Debian packages carry
# no search path.
file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS files)
    if(NOT IS_SYMLINK "${file}")
        file(READ "${file}" magic LIMIT 4 HEX)
        if(magic STREQUAL "7f454c46")
            file(RPATH_REMOVE FILE "${file}")
        endif()
    endif()
endforeach()
