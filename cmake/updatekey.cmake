# The key that update installers must be signed with: a minisign public key,
# its base64 line. A build for players is given the vendor's own; a local
# build without one makes a key pair of its own under update-key/ in the
# build folder, so the local server (scripts/play.sh) and the tests can sign
# installers that this build accepts. That secret key has no password and
# never leaves the build folder.
set(PEGSQUARE_UPDATE_KEY "" CACHE STRING
    "The vendor's minisign public key (the base64 line of its .pub file) that update installers must be signed with")

set(PEGSQUARE_UPDATE_KEY_DIR "${CMAKE_BINARY_DIR}/update-key")
set(PEGSQUARE_UPDATE_KEY_GENERATED OFF)
set(PEGSQUARE_UPDATE_PUBLIC_KEY "${PEGSQUARE_UPDATE_KEY}")
if(PEGSQUARE_UPDATE_PUBLIC_KEY STREQUAL "")
    set(public_file "${PEGSQUARE_UPDATE_KEY_DIR}/pegsquare.pub")
    set(secret_file "${PEGSQUARE_UPDATE_KEY_DIR}/pegsquare.key")
    if(NOT EXISTS "${public_file}" OR NOT EXISTS "${secret_file}")
        find_program(PEGSQUARE_MINISIGN minisign)
        if(NOT PEGSQUARE_MINISIGN)
            message(FATAL_ERROR "No PEGSQUARE_UPDATE_KEY was given and minisign is not installed to make a key "
                                "pair for this build (scripts/deps.sh installs it).")
        endif()
        file(REMOVE "${public_file}" "${secret_file}")
        file(MAKE_DIRECTORY "${PEGSQUARE_UPDATE_KEY_DIR}")
        execute_process(
            COMMAND "${PEGSQUARE_MINISIGN}" -G -W -p "${public_file}" -s "${secret_file}"
            RESULT_VARIABLE made OUTPUT_QUIET ERROR_VARIABLE why)
        if(NOT made EQUAL 0)
            message(FATAL_ERROR "minisign could not make the update key pair in ${PEGSQUARE_UPDATE_KEY_DIR}: ${why}")
        endif()
    endif()
    file(STRINGS "${public_file}" public_lines)
    list(GET public_lines -1 PEGSQUARE_UPDATE_PUBLIC_KEY)
    set(PEGSQUARE_UPDATE_KEY_GENERATED ON)
    message(STATUS "Update installers: no PEGSQUARE_UPDATE_KEY given, so this build trusts only the key pair of "
                   "its own build folder (${PEGSQUARE_UPDATE_KEY_DIR}). A build for players needs the vendor's key.")
endif()
# Ed25519 minisign public keys are 42 bytes: 56 base64 characters.
if(NOT PEGSQUARE_UPDATE_PUBLIC_KEY MATCHES "^[A-Za-z0-9+/]+=*$")
    message(FATAL_ERROR "PEGSQUARE_UPDATE_KEY is not a minisign public key (the base64 line of its .pub file): "
                        "${PEGSQUARE_UPDATE_PUBLIC_KEY}")
endif()
string(LENGTH "${PEGSQUARE_UPDATE_PUBLIC_KEY}" key_length)
if(NOT key_length EQUAL 56)
    message(FATAL_ERROR "PEGSQUARE_UPDATE_KEY has ${key_length} characters; a minisign public key line has 56.")
endif()
