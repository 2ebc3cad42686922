# Renders one card-sized thumbnail per registered style with murmura-cli and compiles them into
# a Qt resource source. Inputs: CLI, SESSION, OUT_DIR, RCC, OUTPUT.
file(MAKE_DIRECTORY ${OUT_DIR})
execute_process(COMMAND ${CLI} styles OUTPUT_VARIABLE styles RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "murmura-cli styles failed")
endif()
string(JSON count LENGTH "${styles}")
math(EXPR last "${count} - 1")
set(entries "")
foreach(i RANGE ${last})
  string(JSON id GET "${styles}" ${i} id)
  execute_process(COMMAND ${CLI} render ${SESSION} --style ${id} --out ${OUT_DIR}/style-thumb-${id}.png
                    --width 320 --height 200
                  RESULT_VARIABLE rc ERROR_QUIET OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "rendering the ${id} thumbnail failed")
  endif()
  string(APPEND entries "    <file>style-thumb-${id}.png</file>\n")
endforeach()
file(WRITE ${OUT_DIR}/thumbnails.qrc
  "<RCC>\n  <qresource prefix=\"/thumbnails\">\n${entries}  </qresource>\n</RCC>\n")
execute_process(COMMAND ${RCC} --name thumbnails -o ${OUTPUT} ${OUT_DIR}/thumbnails.qrc RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "rcc failed")
endif()
