// bench-shell-floor LIST: the least a full fcguard run must do.  Hands
// every command line of LIST (one a line, exactly as fcguard formats them,
// in the order it runs them) to the shell through system(), one after the
// other, and nothing else.  A command's status is ignored, as fcguard
// ignores the report commands' statuses; a shell that cannot be started
// ends the floor with 1.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench-shell-floor LIST\n");
    return 2;
  }
  FILE* list = std::fopen(argv[1], "r");
  if (list == nullptr) {
    std::fprintf(stderr, "bench-shell-floor: cannot open %s\n", argv[1]);
    return 2;
  }
  std::string command;
  char chunk[4096];
  int status = 0;
  bool more = true;
  while (more) {
    more = std::fgets(chunk, sizeof chunk, list) != nullptr;
    if (more) command += chunk;
    if (more && command.back() != '\n') continue;  // a line longer than the chunk
    if (command.find_first_not_of(" \t\n") != std::string::npos &&
        std::system(command.c_str()) == -1) {
      std::fprintf(stderr, "bench-shell-floor: cannot start a shell\n");
      status = 1;
    }
    command.clear();
  }
  std::fclose(list);
  return status;
}
