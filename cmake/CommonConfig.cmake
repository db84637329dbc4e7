# One interface target carries the configuration every Pelorix target shares.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

option(PELORIX_WERROR "Treat warnings as errors" OFF)
option(PELORIX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(PELORIX_TSAN "Build with ThreadSanitizer" OFF)
option(PELORIX_FUZZ "Build the libFuzzer targets (clang; AddressSanitizer and UndefinedBehaviorSanitizer included)" OFF)

if(PELORIX_SANITIZE AND PELORIX_TSAN)
    message(FATAL_ERROR "PELORIX_SANITIZE and PELORIX_TSAN cannot be combined")
endif()
if(PELORIX_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "PELORIX_FUZZ needs clang (CC=clang CXX=clang++)")
    endif()
    if(PELORIX_TSAN)
        message(FATAL_ERROR "PELORIX_FUZZ and PELORIX_TSAN cannot be combined")
    endif()
endif()

add_library(pelorix_common INTERFACE)
target_compile_options(pelorix_common INTERFACE
    -Wall -Wextra -pedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)
target_compile_definitions(pelorix_common INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(PELORIX_WERROR)
    target_compile_options(pelorix_common INTERFACE -Werror)
endif()

if(PELORIX_SANITIZE)
    set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_compile_options(${_san})
    add_link_options(-fsanitize=address,undefined)
endif()
if(PELORIX_FUZZ)
    # Coverage for the fuzzer in everything compiled; the targets themselves link libFuzzer (fuzz/CMakeLists.txt).
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
if(PELORIX_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# Companion programs a test or benchmark starts: building it builds them, and it finds each through a compile
# definition (PELORIX_GUI_BIN for the program, PELORIX_CLI_BIN for pelorix-cli, ...). An unknown companion stops the
# configuration.
function(pelorix_companions target)
    foreach(companion ${ARGN})
        if(companion STREQUAL "gui")
            set(_program pelorix)
        elseif(companion MATCHES "^(cli|master|gamesim)$")
            set(_program pelorix-${companion})
        else()
            message(FATAL_ERROR "${target}: unknown companion program '${companion}'")
        endif()
        string(TOUPPER ${companion} _up)
        add_dependencies(${target} ${_program})
        target_compile_definitions(${target} PRIVATE PELORIX_${_up}_BIN="$<TARGET_FILE:${_program}>")
    endforeach()
endfunction()
