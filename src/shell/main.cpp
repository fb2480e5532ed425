// Program entry point. Until the driving window exists the program only reports its version.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("Dravolin %s\n", DRAVOLIN_VERSION);
      return 0;
    }
  }
  std::fprintf(stderr, "usage: dravolin --version\n");
  return 2;
}
