# Writes OUT/<n>x<n>/apps/sonvale.png for every image in the Windows icon ICO,
# so the Linux menu icon is drawn from the same pictures as the Windows one.
# Run with cmake -P; CONVERT is ImageMagick's convert.
execute_process(COMMAND "${CONVERT}" "${ICO}" -format "%p %w %h\n" info:
    OUTPUT_VARIABLE frames RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read ${ICO}")
endif()
string(REGEX MATCHALL "[0-9]+ [0-9]+ [0-9]+" frames "${frames}")
foreach(frame IN LISTS frames)
  string(REPLACE " " ";" frame "${frame}")
  list(GET frame 0 index)
  list(GET frame 1 width)
  list(GET frame 2 height)
  if(NOT width EQUAL height)
    continue()
  endif()
  set(folder "${OUT}/${width}x${width}/apps")
  file(MAKE_DIRECTORY "${folder}")
  # Without the chunks that date the file, so that two builds give the same PNG.
  execute_process(COMMAND "${CONVERT}" "${ICO}[${index}]" -strip -define png:exclude-chunks=date,time
                          "PNG32:${folder}/sonvale.png" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot write ${folder}/sonvale.png")
  endif()
endforeach()
