#pragma once
// What the platform sets up once per process before the settings object is
// built, in both modes, and takes down at the end: on Windows the DirectDraw
// binding and COM on the main thread (shell links need it, also on the very
// first start with "/run"). Nothing on Linux.
class TPlatformSession {
  public:
    TPlatformSession();
    ~TPlatformSession();
    TPlatformSession(const TPlatformSession&) = delete;
    TPlatformSession& operator=(const TPlatformSession&) = delete;

  private:
    [[maybe_unused]] bool comInitialised_ = false; // used on Windows only
};
