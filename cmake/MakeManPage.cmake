# Writes the manual page of one program from its --help text, gzipped as Debian wants it.
#   cmake -DPROGRAM=exe -DNAME=name -DSUMMARY=text -DVERSION=x.y.z -DOUT=file.1.gz
#         [-DSECTIONS=file.roff] -P MakeManPage.cmake
# SECTIONS, when given, is roff text of further sections (keys, files) put after the synopsis.
# The exit status of --help is not looked at: a program that prints its usage and exits with a
# usage error still gets its usage text as the page.
foreach(var PROGRAM NAME SUMMARY VERSION OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MakeManPage: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND "${PROGRAM}" --help
  OUTPUT_VARIABLE help ERROR_VARIABLE help_err RESULT_VARIABLE status
  TIMEOUT 30
  ENCODING UTF-8)
if(help STREQUAL "")
  set(help "${help_err}")
endif()
# A program that does not know --help complains about it before its usage text: that line is
# not part of the page.
if(NOT status EQUAL 0)
  string(REGEX REPLACE "[^\n]*--help[^\n]*\n?" "" help "${help}")
endif()
if(help STREQUAL "")
  set(help "${NAME} prints no usage text. The README of Dravolin describes it.")
endif()

# roff: a backslash is written \e; a line starting with . or ' would be a request.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "\n+$" "" help "${help}")
string(REGEX REPLACE "^([.'])" "\\\\&\\1" help "${help}")
string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" help "${help}")
set(body "${help}\n")
set(sections "")
if(DEFINED SECTIONS AND NOT SECTIONS STREQUAL "")
  file(READ "${SECTIONS}" sections)
endif()
string(REPLACE "-" "\\-" name_roff "${NAME}")
string(TOUPPER "${NAME}" title)

set(page ".TH ${title} 1 \"\" \"Dravolin ${VERSION}\" \"User Commands\"
.SH NAME
${name_roff} \\- ${SUMMARY}
.SH SYNOPSIS
.nf
${body}.fi
${sections}.SH SEE ALSO
The README of Dravolin describes every program, the data files and the demo:
.I /usr/share/doc/dravolin/README.md.gz
(under
.I share/doc/dravolin
of another installation prefix).
")

get_filename_component(out_dir "${OUT}" DIRECTORY)
string(REGEX REPLACE "\\.gz$" "" plain "${OUT}")
file(WRITE "${plain}" "${page}")
execute_process(COMMAND gzip -9nf "${plain}" RESULT_VARIABLE gz)
if(NOT gz EQUAL 0)
  message(FATAL_ERROR "MakeManPage: gzip failed on ${plain}")
endif()
