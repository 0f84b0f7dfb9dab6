// The stand-in sound system of trivandel-demo.exe: two described render
// endpoints on the stand-in Core Audio objects, a loopback side that plays a
// signal in real time and an output side that records to a WAVE file.
//
// Chosen by environment variables, so that the program's command line stays
// exactly the real one:
//   TRIVANDEL_STANDIN_INPUT   "tones" (default): 100 Hz + 1 kHz + 8 kHz,
//                             each at 0.25 of full scale, on both channels;
//                             "silence"; or the path of a WAVE file, played
//                             at its own rate and repeated
//   TRIVANDEL_STANDIN_OUTPUT  path of a WAVE file that receives every output
//                             buffer the program releases (unset: none)
//   TRIVANDEL_STANDIN_DEVICE  the class of the multichannel endpoint: hda,
//                             hdmi, usb-4byte, usb-3byte or usb1 (unset: one
//                             that takes any format and any buffer size)
//   TRIVANDEL_STANDIN_RATE    the loopback's mix rate in Hz (default 48000,
//                             or a WAVE input's own rate)
//   TRIVANDEL_STANDIN_PERIOD  the multichannel endpoint's minimum device
//                             period in 100-ns units (default: its class's)
#pragma once

// Describes the endpoints and installs the stand-in device enumerator.
// False, after a message on stderr, when the input cannot be read.
bool InstallStandInAudio();
