#pragma once
// Sets the floating-point mode for the lifetime of a scope and gives the caller's mode back at its end.
//
//     {
//         fpu_mode_scope mode;   // denormals flushed to zero, rounding to nearest
//         ... convert ...
//     }                          // the caller's rounding and denormal settings are back
//
// Only the rounding and denormal settings are touched; exception masks and precision stay as they are.

class fpu_mode_scope {
public:
    fpu_mode_scope();
    ~fpu_mode_scope();
    fpu_mode_scope(const fpu_mode_scope&) = delete;
    fpu_mode_scope& operator=(const fpu_mode_scope&) = delete;

private:
    unsigned int saved_;
};
