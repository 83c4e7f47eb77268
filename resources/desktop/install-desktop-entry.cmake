# Installs the desktop entry with the program's full path in Exec, quoted as desktop entries
# are when the path holds a blank or a character the entry reserves.
# Set before: ORV_DESKTOP_ENTRY (the entry's source), ORV_BINDIR and ORV_DATADIR (relative to
# the prefix, or absolute).
if(IS_ABSOLUTE "${ORV_BINDIR}")
    set(program "${ORV_BINDIR}/orvalent")
else()
    set(program "${CMAKE_INSTALL_PREFIX}/${ORV_BINDIR}/orvalent")
endif()
get_filename_component(program "${program}" ABSOLUTE)

set(exec "${program}")
string(REGEX MATCH "[] \t\n\"'\\\\><~|&;$*?#()`[]" reserved "${program}")
if(reserved)
    # Inside the quotes, ", `, $ and \ take a backslash; the entry's own escaping then doubles
    # every backslash.
    string(REPLACE "\\" "\\\\" exec "${exec}")
    string(REPLACE "\"" "\\\"" exec "${exec}")
    string(REPLACE "`" "\\`" exec "${exec}")
    string(REPLACE "$" "\\$" exec "${exec}")
    string(REPLACE "\\" "\\\\" exec "${exec}")
    set(exec "\"${exec}\"")
endif()

file(READ "${ORV_DESKTOP_ENTRY}" entry)
string(REGEX REPLACE "\nExec=[^\n]*" "\nExec=${exec}" entry "${entry}")
if(IS_ABSOLUTE "${ORV_DATADIR}")
    set(target "$ENV{DESTDIR}${ORV_DATADIR}/applications")
else()
    set(target "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${ORV_DATADIR}/applications")
endif()
file(MAKE_DIRECTORY "${target}")
message(STATUS "Installing: ${target}/orvalent.desktop")
file(WRITE "${target}/orvalent.desktop" "${entry}")
