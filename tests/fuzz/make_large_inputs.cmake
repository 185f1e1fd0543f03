# Writes the large hostile command lines for the fuzz targets into OUT (2 KB, 32 KB, 1 MB):
#   *-sid-run    a URL whose sid, host and port values are one long run of accepted characters
#   *-escapes    a URL made of quotes, backslash runs and escapes, over and over
#   1m-key-run   a quoted URL whose action key is one 1 MB run of letters
# cmake -DOUT=<folder> -P make_large_inputs.cmake
if(NOT OUT)
  message(FATAL_ERROR "OUT not set")
endif()
file(MAKE_DIRECTORY ${OUT})

function(write_sized path head unit size)
  string(LENGTH "${head}" headLength)
  string(LENGTH "${unit}" unitLength)
  math(EXPR count "(${size} - ${headLength}) / ${unitLength} + 1")
  string(REPEAT "${unit}" ${count} body)
  string(SUBSTRING "${head}${body}" 0 ${size} text)
  file(WRITE ${path} "${text}")
endfunction()

set(escapes "%22\"\\\\\\\"%3f%3d%2f%26%3F%3D%2F%00%0d%0a/sid/&|^<>()%!\\\\server\\share\\..\\/host//port/")
foreach(size_name IN ITEMS 2k 32k 1m)
  if(size_name STREQUAL "2k")
    set(size 2048)
  elseif(size_name STREQUAL "32k")
    set(size 32768)
  else()
    set(size 1048576)
  endif()
  write_sized(${OUT}/${size_name}-sid-run "\"kelto://ipconfig/host/a/port/1/sid/" "Ab-_9" ${size})
  write_sized(${OUT}/${size_name}-escapes "\"kelto:" "${escapes}" ${size})
endforeach()
write_sized(${OUT}/1m-key-run "\"kelto://" "keltoz" 1048576)
