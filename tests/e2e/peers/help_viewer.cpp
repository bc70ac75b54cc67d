// Stands in for the web browser during the end-to-end run: each page of the manual the
// program asks the system to open is noted as a line of help-opened.txt in the work
// folder.
#include <cstdio>
#include <string>

#include "testbed/win32/support.h"

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  const std::string notes = testbed::WinWork() + "\\help-opened.txt";
  std::FILE* file = std::fopen(notes.c_str(), "a");
  if (!file) return 1;
  std::fprintf(file, "%s\n", argv[1]);
  std::fclose(file);
  return 0;
}
