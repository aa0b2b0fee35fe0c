# Copies a text file with CR LF line ends, the line ends of Windows' own
# tools (Notepad before 2018 shows LF-only text as one line):
#   cmake -DIN=file -DOUT=file.txt -P crlf.cmake
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
