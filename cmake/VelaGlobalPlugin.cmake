# vela_add_plugin(<name> SOURCES <files>... [LIBRARIES <targets>...])
#
# A plug-in of the editor, built as its authors build one against an
# installed VelaGlobal: a Qt plug-in (a MODULE library) compiled against the
# plug-in interface headers alone. It links nothing of the library: the
# editor has loaded the library before it loads a plug-in. Copy the built
# file into the application folder's "plugins" folder, or check it first with
# `velahost check-plugin <file>`.
function(vela_add_plugin name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_library(${name} MODULE ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE VelaGlobal::PluginInterfaces ${ARG_LIBRARIES})
endfunction()
