# Run by `cmake --install`: writes a man page for each program from its
# --help and --version output with help2man and installs it under
# share/man/man1. Without help2man the programs are installed alone, with a
# note. Expects FOUNDABC_PROGRAMS (paths of the built programs),
# FOUNDABC_MAN_NAMES (the one-line description of each, in the same order) and
# FOUNDABC_MAN_DIR (relative to the install prefix).
find_program(FOUNDABC_HELP2MAN help2man)
if(NOT FOUNDABC_HELP2MAN)
  message(STATUS "help2man not found: man pages not installed (install help2man and run the install again)")
  return()
endif()
set(man_dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${FOUNDABC_MAN_DIR}")
file(MAKE_DIRECTORY "${man_dir}")
list(LENGTH FOUNDABC_PROGRAMS count)
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET FOUNDABC_PROGRAMS ${i} program)
  list(GET FOUNDABC_MAN_NAMES ${i} description)
  get_filename_component(name "${program}" NAME)
  set(page "${man_dir}/${name}.1")
  # The commands of foundabc-summary that start with --table, --choose or
  # --ppc have options of their own, explained by their own --help: each text
  # becomes a section of the page.
  set(include_option "")
  if(name STREQUAL "foundabc-summary")
    # The sections are shown as they are, indented by the page: their text
    # is wrapped at 72 columns so that the page fits in 80.
    set(ENV{COLUMNS} 72)
    set(sections "")
    foreach(command "REFERENCE TABLES|--table|FILE" "MODEL CHOICE|--choose|A|B"
                    "PREDICTIVE CHECK|--ppc|FILE")
      string(REPLACE "|" ";" words "${command}")
      list(POP_FRONT words section)
      execute_process(COMMAND "${program}" ${words} --help
        OUTPUT_VARIABLE command_help RESULT_VARIABLE command_status)
      if(NOT command_status EQUAL 0)
        message(FATAL_ERROR "${program} ${words} --help failed")
      endif()
      string(APPEND sections "[${section}]\n.nf\n${command_help}\n.fi\n")
    endforeach()
    get_filename_component(program_dir "${program}" DIRECTORY)
    set(include_file "${program_dir}/${name}-commands.h2m")
    file(WRITE "${include_file}" "${sections}")
    set(include_option "--include=${include_file}")
  endif()
  execute_process(
    COMMAND "${FOUNDABC_HELP2MAN}" --no-info --section=1 "--name=${description}"
            ${include_option} --output=${page} "${program}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${program}")
  endif()
  message(STATUS "Installing: ${page}")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${page}")
endforeach()
