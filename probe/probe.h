// trivandel-probe: what each render endpoint takes in exclusive mode and
// what trivandel.exe would make of it, for a user whose device refuses the
// program (which itself prints no platform codes).
#pragma once

// Probes every render endpoint the device enumerator seam gives
// (audio/device_enumerator.h) and prints the findings. Returns the exit
// status: 0, or 1 when COM or the enumerator cannot be had.
int RunProbe();
