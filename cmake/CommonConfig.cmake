# One interface target carries the configuration every Pelorix target shares.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

option(PELORIX_WERROR "Treat warnings as errors" OFF)
option(PELORIX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(PELORIX_TSAN "Build with ThreadSanitizer" OFF)

if(PELORIX_SANITIZE AND PELORIX_TSAN)
    message(FATAL_ERROR "PELORIX_SANITIZE and PELORIX_TSAN cannot be combined")
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
if(PELORIX_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# A library from every .cpp of one folder (not recursive); an INTERFACE target while the folder is empty.
function(pelorix_folder_library name dir)
    file(GLOB _sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    if(_sources)
        add_library(${name} STATIC ${_sources})
        target_link_libraries(${name} PUBLIC pelorix_common ${ARGN})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    else()
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE pelorix_common ${ARGN})
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    endif()
endfunction()
