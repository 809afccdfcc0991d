# Checks that every include between our folders points down the layers:
#
#   the program → game → online, records → ui → resources → platform/qt,
#   platform/media → platform/core
#
# and that the Qt-free leaves (rules, codecs, advisor, platform/core, and
# platform/media) use nothing above them. Programs (tools, bench) may use
# any library, and no library may use them. Prints every arrow it found, so
# the layering can be read off the output.
#
#   cmake -DROOT=<source tree> -P tests/layers.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT ROOT)
    message(FATAL_ERROR "layers.cmake: give the source tree with -DROOT=…")
endif()

set(libraries protocol rules codecs advisor platform/core platform/media platform/qt resources ui records online game server)
set(programs tools bench)
set(leaves protocol rules codecs advisor platform/core platform/media)
set(platform platform/core platform/media platform/qt)

set(uses_protocol)
set(uses_rules)
set(uses_codecs platform/core)
set(uses_advisor rules)
set(uses_platform/core)
set(uses_platform/media)
set(uses_platform/qt platform/core)
set(uses_resources ${platform})
set(uses_ui resources ${platform} ${leaves})
set(uses_records ui resources ${platform} ${leaves})
set(uses_online ui resources ${platform} ${leaves})
set(uses_game records online ui resources ${platform} ${leaves})
set(uses_server protocol)

# Which folder each header lives in, by its file name.
foreach(folder IN LISTS libraries programs)
    file(GLOB headers RELATIVE "${ROOT}/${folder}" "${ROOT}/${folder}/*.h")
    foreach(header IN LISTS headers)
        if(DEFINED home_${header})
            message(SEND_ERROR "${header} is in both ${home_${header}}/ and ${folder}/")
        endif()
        set(home_${header} ${folder})
    endforeach()
endforeach()

set(failures 0)
foreach(folder IN LISTS libraries programs)
    file(GLOB sources "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
    set(arrows)
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\".*" "\\1" included "${line}")
            get_filename_component(name "${included}" NAME)
            if(NOT DEFINED home_${name} OR home_${name} STREQUAL folder)
                continue()
            endif()
            set(target ${home_${name}})
            list(APPEND arrows ${target})
            if(folder IN_LIST programs AND target IN_LIST libraries)
                continue()
            endif()
            if(NOT target IN_LIST uses_${folder})
                file(RELATIVE_PATH shown "${ROOT}" "${source}")
                message(SEND_ERROR "${shown} includes ${included} from ${target}/, which ${folder}/ may not use")
                math(EXPR failures "${failures} + 1")
            endif()
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES arrows)
    list(SORT arrows)
    list(JOIN arrows ", " shown)
    message(STATUS "${folder} → ${shown}")
endforeach()
if(failures GREATER 0)
    message(FATAL_ERROR "${failures} include(s) point the wrong way")
endif()
