# The portable core stays portable: its files include no platform header and
# the library links nothing but libsoxr, a plain C library. Checked at every
# configure.

set(SONVALE_PLATFORM_INCLUDE_REGEX
    "^[ \t]*#[ \t]*include[ \t]*[<\"](windows|winsock|ws2|mmsystem|shellapi|commctrl|Q[A-Z]|Qt|qt|alsa/|sys/socket|netinet/|arpa/|netdb|poll|unistd|fcntl|sys/)")

function(sonvale_core_sources out)
  set(sources)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${dir}/*.cpp")
    list(APPEND sources ${found})
  endforeach()
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

function(sonvale_check_core target)
  foreach(dir IN LISTS ARGN)
    file(GLOB files "${CMAKE_SOURCE_DIR}/${dir}/*.cpp" "${CMAKE_SOURCE_DIR}/${dir}/*.h")
    foreach(file IN LISTS files)
      file(STRINGS "${file}" hits REGEX "${SONVALE_PLATFORM_INCLUDE_REGEX}")
      if(hits)
        message(FATAL_ERROR "${file} belongs to the portable core but includes a platform header: ${hits}")
      endif()
    endforeach()
  endforeach()
  get_target_property(links ${target} LINK_LIBRARIES)
  get_target_property(interface_links ${target} INTERFACE_LINK_LIBRARIES)
  list(REMOVE_ITEM links sonvale_soxr)
  list(REMOVE_ITEM interface_links sonvale_soxr)
  if(links OR interface_links)
    message(FATAL_ERROR "${target} must link nothing but sonvale_soxr: ${links} ${interface_links}")
  endif()
endfunction()
