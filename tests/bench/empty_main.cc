// The benchmark's baseline: a program that does nothing, built and started
// exactly as dllmend is.
int main(int argc, char* argv[], char* envp[]) {
  static_cast<void>(argc);
  static_cast<void>(argv);
  static_cast<void>(envp);
  return 0;
}
