# One static library per folder of src/, with an explicit source list. The includes of its sources are
# checked against the layer rule (cmake/check_layers.py) before it compiles, so a forbidden include breaks
# the build even where the header would be found on the default include path.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(MONDREL_QT_HEADERS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_HEADERS}")

function(mondrel_check_includes target)
    cmake_parse_arguments(ARG "COMPOSITION_ROOT" "" "SOURCES" ${ARGN})
    set(files)
    foreach(source ${ARG_SOURCES})
        get_filename_component(absolute ${source} ABSOLUTE)
        list(APPEND files ${absolute})
    endforeach()
    set(flags)
    if(ARG_COMPOSITION_ROOT)
        list(APPEND flags --composition-root)
    endif()
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.layer-check)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/check_layers.py
                --src-root ${PROJECT_SOURCE_DIR}/src --qt-headers ${MONDREL_QT_HEADERS} ${flags} ${files}
        COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
        DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/check_layers.py
        COMMENT "Checking the includes of ${target} against the layer rule"
        VERBATIM)
    add_custom_target(${target}_layer_check DEPENDS ${stamp})
    add_dependencies(${target} ${target}_layer_check)
endfunction()

# mondrel_add_layer(<target> SOURCES <files...> PUBLIC <libs...> PRIVATE <libs...>)
function(mondrel_add_layer target)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(${target} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
    mondrel_check_includes(${target} SOURCES ${ARG_SOURCES})
endfunction()
