# Writes a tool's manual page from its --help text, so that the options are
# explained in one place (the tool) and the page cannot drift from it.
#   cmake -DTOOL=<executable> -DNAME=<name> -DSUMMARY=<text> -DVERSION=<version>
#         -DOUT=<file.1.gz> -P HelpToMan.cmake
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${TOOL} --help failed (${rc})")
endif()
# troff: a backslash is written \e; a line may not begin with a control character.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REPLACE "-" "\\-" page_name "${NAME}")
file(WRITE ${OUT}.tmp
".\\\" Made from `${NAME} --help` by HelpToMan.cmake.
.TH ${NAME} 1 \"\" \"Updater ${VERSION}\" \"User Commands\"
.SH NAME
${page_name} \\- ${SUMMARY}
.SH SYNOPSIS AND OPTIONS
.nf
${help}.fi
.SH SEE ALSO
.BR Updater (1);
the reference of the tool in
\\fI/usr/share/doc/mirovane\\-updater\\-tools/README.${NAME}.md\\fR
(\\fItools/${NAME}/README.md\\fR in the source tree).
")
execute_process(COMMAND gzip -9nc ${OUT}.tmp OUTPUT_FILE ${OUT} RESULT_VARIABLE rc)
file(REMOVE ${OUT}.tmp)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip ${OUT} failed")
endif()
