# Part of `cmake --install`: installs the desktop entry with the installed program's full path in Exec, so
# that a prefix whose bin/ is not on PATH still starts it, then refreshes the prefix's MIME cache, without
# which the desktop (gio, xdg-open) does not find the handler of mondrel: links.
# Set before it runs: MONDREL_DESKTOP_ENTRY (the entry's source), MONDREL_BINDIR, MONDREL_DATADIR, and the
# folder MONDREL_STAGING to write the finished entry to.

foreach(dir BINDIR DATADIR)
  if(IS_ABSOLUTE "${MONDREL_${dir}}")
    set(${dir} "${MONDREL_${dir}}")
  else()
    set(${dir} "${CMAKE_INSTALL_PREFIX}/${MONDREL_${dir}}")
  endif()
endforeach()
set(program "${BINDIR}/mondrel")
set(applications "${DATADIR}/applications")

# The path as one argument of Exec: quoted when it needs to be, then escaped as a string value.
string(REGEX MATCH "^[-A-Za-z0-9_./+@,:]+$" plain "${program}")
if(plain)
  set(exec "${program}")
else()
  string(REPLACE "\\" "\\\\" quoted "${program}")
  foreach(reserved "\"" "`" "$")
    string(REPLACE "${reserved}" "\\${reserved}" quoted "${quoted}")
  endforeach()
  string(REPLACE "\\" "\\\\" exec "\"${quoted}\"")
endif()
string(REPLACE "%" "%%" exec "${exec}")

file(READ "${MONDREL_DESKTOP_ENTRY}" entry)
string(FIND "${entry}" "\nExec=mondrel %u\n" found)
if(found EQUAL -1)
  message(FATAL_ERROR "${MONDREL_DESKTOP_ENTRY} has no line Exec=mondrel %u")
endif()
string(REPLACE "\nExec=mondrel %u\n" "\nExec=${exec} %u\n" entry "${entry}")
get_filename_component(name "${MONDREL_DESKTOP_ENTRY}" NAME)
file(WRITE "${MONDREL_STAGING}/${name}" "${entry}")
file(INSTALL DESTINATION "${applications}" TYPE FILE FILES "${MONDREL_STAGING}/${name}")

# A staged install (DESTDIR, for a package) leaves the cache to the package's own triggers.
if("$ENV{DESTDIR}" STREQUAL "")
  find_program(UPDATE_DESKTOP_DATABASE update-desktop-database)
  if(UPDATE_DESKTOP_DATABASE)
    execute_process(COMMAND "${UPDATE_DESKTOP_DATABASE}" -q "${applications}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(WARNING "update-desktop-database ${applications} failed: mondrel: links may not reach Mondrel")
    endif()
  else()
    message(WARNING "update-desktop-database (desktop-file-utils) is missing: mondrel: links may not reach "
                    "Mondrel until the MIME cache of ${applications} is refreshed")
  endif()
endif()
