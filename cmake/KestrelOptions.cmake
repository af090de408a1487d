# One place for warnings, Qt safety defines and sanitizer switches.
add_library(kestrel_options INTERFACE)

if(MSVC)
    target_compile_options(kestrel_options INTERFACE /W4 /utf-8)
    if(KESTREL_WERROR)
        target_compile_options(kestrel_options INTERFACE /WX)
    endif()
else()
    target_compile_options(kestrel_options INTERFACE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor)
    if(KESTREL_WERROR)
        target_compile_options(kestrel_options INTERFACE -Werror)
    endif()
    if(KESTREL_SANITIZE)
        target_compile_options(kestrel_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
        target_link_options(kestrel_options INTERFACE -fsanitize=address,undefined)
    endif()
endif()

if(WIN32)
    target_compile_definitions(kestrel_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
endif()

# Qt-only defines live on a second target so the Qt-free platform layer stays plain C++.
add_library(kestrel_qt_options INTERFACE)
target_link_libraries(kestrel_qt_options INTERFACE kestrel_options)
target_compile_definitions(kestrel_qt_options INTERFACE
    QT_NO_CAST_FROM_ASCII QT_USE_QSTRINGBUILDER QT_NO_URL_CAST_FROM_STRING
    QT_DISABLE_DEPRECATED_BEFORE=0x060000)
