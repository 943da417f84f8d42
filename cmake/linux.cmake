# sonvale: the Qt 6 shell over the same core.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)
find_package(ALSA REQUIRED)
set(CMAKE_AUTOMOC ON)

file(GLOB SONVALE_LINUX_SOURCES CONFIGURE_DEPENDS
     "${CMAKE_SOURCE_DIR}/app/qt/*.cpp" "${CMAKE_SOURCE_DIR}/app/linux/*.cpp"
     "${CMAKE_SOURCE_DIR}/intake/qt/*.cpp" "${CMAKE_SOURCE_DIR}/intake/linux/*.cpp"
     "${CMAKE_SOURCE_DIR}/playback/qt/*.cpp" "${CMAKE_SOURCE_DIR}/playback/linux/*.cpp"
     "${CMAKE_SOURCE_DIR}/spectrum/qt/*.cpp" "${CMAKE_SOURCE_DIR}/ui/qt/*.cpp" "${CMAKE_SOURCE_DIR}/ui/linux/*.cpp")
list(FILTER SONVALE_LINUX_SOURCES EXCLUDE REGEX "/app/qt/main\\.cpp$")

add_library(sonvale_qt STATIC ${SONVALE_LINUX_SOURCES})
target_link_libraries(sonvale_qt PUBLIC sonvale_core Qt6::Widgets ALSA::ALSA)

add_executable(sonvale app/qt/main.cpp)
target_link_libraries(sonvale PRIVATE sonvale_qt)
