# Installs BUILD_DIR into PREFIX (emptied first) and checks the tree:
# the programs, a valid desktop entry and metainfo that name the icon and
# the version, and the icon theme's six sizes as PNG files of their size.
# Every fault found is reported; the script fails at the end if any was.
cmake_minimum_required(VERSION 3.25)

set(faults 0)
macro(fault text)
    message(NOTICE "FAULT: ${text}")
    math(EXPR faults "${faults} + 1")
endmacro()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

foreach(program ${PROGRAMS})
    # find_program finds only files the user may execute.
    unset(found)
    find_program(found NAMES ${program} PATHS "${PREFIX}/${BINDIR}" NO_DEFAULT_PATH NO_CACHE)
    if(NOT found)
        fault("${BINDIR}/${program}: missing or not executable")
    endif()
endforeach()

set(desktop "${PREFIX}/${DATADIR}/applications/${APP_ID}.desktop")
set(metainfo "${PREFIX}/${DATADIR}/metainfo/${APP_ID}.metainfo.xml")

# Each file and a line it must hold: the names the desktop matches up, and
# the version, which is filled in by the configuration.
set(expected_lines
    "${desktop}|Icon=${APP_ID}"
    "${desktop}|Exec=pegsquare"
    "${metainfo}|  <id>${APP_ID}</id>"
    "${metainfo}|  <launchable type=\"desktop-id\">${APP_ID}.desktop</launchable>"
    "${metainfo}|    <release version=\"${VERSION}\" date=\"")
foreach(row IN LISTS expected_lines)
    string(FIND "${row}" "|" bar)
    string(SUBSTRING "${row}" 0 ${bar} file)
    math(EXPR bar "${bar} + 1")
    string(SUBSTRING "${row}" ${bar} -1 line)
    if(NOT EXISTS "${file}")
        fault("${file}: missing")
        continue()
    endif()
    file(STRINGS "${file}" lines)
    set(seen FALSE)
    foreach(l IN LISTS lines)
        string(FIND "${l}" "${line}" at)
        if(at EQUAL 0)
            set(seen TRUE)
        endif()
    endforeach()
    if(NOT seen)
        fault("${file}: no line starting with '${line}'")
    endif()
endforeach()

execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}" "${desktop}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
    fault("desktop-file-validate ${desktop} (${rc}):\n${out}")
endif()

if(APPSTREAMCLI)
    execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net "${metainfo}"
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        fault("appstreamcli validate ${metainfo} (${rc}):\n${out}")
    endif()
else()
    message(STATUS "appstreamcli not found: the metainfo is not validated")
endif()

# A PNG file opens with its 8-byte signature and the IHDR chunk, whose
# data starts with the width and the height as 4-byte big-endian numbers.
foreach(size 16 32 48 64 128 256)
    set(icon "${PREFIX}/${DATADIR}/icons/hicolor/${size}x${size}/apps/${APP_ID}.png")
    if(NOT EXISTS "${icon}")
        fault("${icon}: missing")
        continue()
    endif()
    file(READ "${icon}" head LIMIT 24 HEX)
    math(EXPR want "${size}" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${want}" 2 -1 want)
    string(LENGTH "${want}" len)
    while(len LESS 8)
        string(PREPEND want "0")
        math(EXPR len "${len} + 1")
    endwhile()
    set(expected "89504e470d0a1a0a0000000d49484452${want}${want}")
    if(NOT head STREQUAL expected)
        fault("${icon}: not a ${size} x ${size} PNG file (starts ${head})")
    endif()
endforeach()

if(faults GREATER 0)
    message(FATAL_ERROR "${faults} fault(s) in the installed tree ${PREFIX}")
endif()
message(STATUS "installed tree ${PREFIX} is complete")
