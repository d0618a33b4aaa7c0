# Tests that run a command on the host side of the namespace lab, against the
# device simulator (scripts/lab.sh builds the lab and tears it down):
#
#   tamro_add_lab_test(NAME name DEVICES file TIMEOUT seconds LAB_TIMEOUT seconds
#                      [DEVSIM path] [LABELS label...] [ENVIRONMENT VAR=value...]
#                      COMMAND program [argument...])
#
# LAB_TIMEOUT bounds the command inside the lab; TIMEOUT, the whole test, lab
# set-up and tear-down included, so it is the larger. DEVSIM defaults to this
# build's tamro-devsim, LABELS to lab. Exit status 77 (not root) is a skip.
function(tamro_add_lab_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg ""
    "NAME;DEVICES;TIMEOUT;LAB_TIMEOUT;DEVSIM" "LABELS;ENVIRONMENT;COMMAND")
  foreach(required NAME DEVICES TIMEOUT LAB_TIMEOUT COMMAND)
    if(NOT arg_${required})
      message(FATAL_ERROR "tamro_add_lab_test: ${required} is missing")
    endif()
  endforeach()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tamro_add_lab_test(${arg_NAME}): unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_DEVSIM)
    set(arg_DEVSIM $<TARGET_FILE:tamro-devsim>)
  endif()
  if(NOT arg_LABELS)
    set(arg_LABELS lab)
  endif()

  add_test(NAME ${arg_NAME}
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lab.sh
            --devsim ${arg_DEVSIM}
            --devices ${arg_DEVICES}
            --timeout ${arg_LAB_TIMEOUT}
            -- ${arg_COMMAND})
  set_tests_properties(${arg_NAME} PROPERTIES
    LABELS "${arg_LABELS}" TIMEOUT ${arg_TIMEOUT} SKIP_RETURN_CODE 77)
  if(arg_ENVIRONMENT)
    set_tests_properties(${arg_NAME} PROPERTIES ENVIRONMENT "${arg_ENVIRONMENT}")
  endif()
endfunction()
