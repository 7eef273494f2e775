// Crashes at once with an access violation that nothing handles: the
// crash_ends_at_once test runs it the way every Windows test runs.
int main() {
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
