# Sonvale.exe: Win32, Unicode, resources from res/, no runtime DLL of its own.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

file(GLOB SONVALE_WIN32_SOURCES CONFIGURE_DEPENDS
     "${CMAKE_SOURCE_DIR}/app/win32/*.cpp" "${CMAKE_SOURCE_DIR}/intake/win32/*.cpp"
     "${CMAKE_SOURCE_DIR}/playback/win32/*.cpp" "${CMAKE_SOURCE_DIR}/spectrum/win32/*.cpp"
     "${CMAKE_SOURCE_DIR}/ui/win32/*.cpp")
list(FILTER SONVALE_WIN32_SOURCES EXCLUDE REGEX "/winmain\\.cpp$")

# The shell without its entry point, so that tests can link it.
add_library(sonvale_win32 STATIC ${SONVALE_WIN32_SOURCES})
target_link_libraries(sonvale_win32 PUBLIC sonvale_core ws2_32 comctl32 winmm iphlpapi shell32 advapi32)

# Each build's manifest names its own architecture: 64-bit Windows may refuse
# a 64-bit program whose manifest says x86.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(SONVALE_MANIFEST_ARCH x86)
else()
  set(SONVALE_MANIFEST_ARCH amd64)
endif()
set(SONVALE_GENERATED_RES "${CMAKE_BINARY_DIR}/res")
configure_file(res/sonvale.manifest.in "${SONVALE_GENERATED_RES}/sonvale.manifest" @ONLY)

add_executable(Sonvale WIN32 app/win32/winmain.cpp res/sonvale.rc)
target_include_directories(Sonvale PRIVATE ${SONVALE_GENERATED_RES} ${CMAKE_SOURCE_DIR}/res)
target_link_libraries(Sonvale PRIVATE sonvale_win32)
target_link_options(Sonvale PRIVATE -municode -static -static-libgcc -static-libstdc++)
set_target_properties(Sonvale PROPERTIES OUTPUT_NAME Sonvale)
set_source_files_properties(res/sonvale.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/resource.h;${SONVALE_GENERATED_RES}/sonvale.manifest;${CMAKE_SOURCE_DIR}/res/sonvale.ico;${CMAKE_SOURCE_DIR}/res/tray.ico")

# The decoder is loaded at run time from beside the executable.
set(SONVALE_LAME_DLL "${SONVALE_THIRD_PARTY}/${CMAKE_SYSTEM_PROCESSOR}/lame_enc.dll")
if(EXISTS "${SONVALE_LAME_DLL}")
  add_custom_command(TARGET Sonvale POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different "${SONVALE_LAME_DLL}" "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/lame_enc.dll")
else()
  message(WARNING "lame_enc.dll not found at ${SONVALE_LAME_DLL}; run scripts/setup.sh")
endif()

# The offline help page, opened from the Help menu, ships beside the executable.
add_custom_command(TARGET Sonvale POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${CMAKE_SOURCE_DIR}/res/sonvale-help.html"
            "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/sonvale-help.html")
