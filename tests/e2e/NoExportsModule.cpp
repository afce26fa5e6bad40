// A plug-in with InitModule only: the host must refuse it, naming what is
// missing, before it calls anything.
#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT void InitModule(void* /*module*/) {}
