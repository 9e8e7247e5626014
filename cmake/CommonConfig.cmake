# Settings shared by every target of the project: language level, warnings,
# strict Qt string handling and the optional sanitizer builds.
add_library(tagor_common INTERFACE)
target_compile_features(tagor_common INTERFACE cxx_std_20)
target_compile_options(tagor_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(tagor_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_USE_QSTRINGBUILDER
    QT_NO_FOREACH
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_STRICT_ITERATORS)

option(TAGOR_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TAGOR_TSAN "Build with ThreadSanitizer" OFF)
option(TAGOR_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(TAGOR_SANITIZE AND TAGOR_TSAN)
    message(FATAL_ERROR "TAGOR_SANITIZE and TAGOR_TSAN cannot be combined")
endif()

if(TAGOR_SANITIZE)
    set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${_san})
    add_link_options(${_san})
endif()
if(TAGOR_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
