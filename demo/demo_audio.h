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
//                             buffer the program releases, across restarts
//                             (unset: none)
//   TRIVANDEL_STANDIN_DEVICE  the class of the multichannel endpoint: hda,
//                             hdmi, usb-4byte, usb-3byte or usb1 (unset: one
//                             that takes any format and any buffer size)
//   TRIVANDEL_STANDIN_RATE    the loopback's mix rate in Hz (default 48000,
//                             or a WAVE input's own rate)
//   TRIVANDEL_STANDIN_PERIOD  the multichannel endpoint's minimum device
//                             period in 100-ns units (default: its class's)
//   TRIVANDEL_STANDIN_EVENTS  a script of device events, SECONDS:EVENT[,...],
//                             counted from the first start of the output
//                             stream (">Start the captureing."):
//     output-lost         the multichannel endpoint is invalidated and absent
//     output-back         it is back under its id
//     output-back-new-id  it is back under a new id
//     output-silent       its buffer event stops, its calls still succeed
//     default-change      "Headphones", a second loopback endpoint playing the
//                         same signal, is plugged in and made the default;
//                         the next one makes "Speakers" the default again
//     default-output      the multichannel endpoint becomes the default
//     loopback-lost       the default endpoint's loopback is disconnected
//     default-communications  "Headphones" is plugged in and made the
//                         default communications device only
//     default-microphone  a microphone becomes the default capture device
//     service-restart     the Windows Audio service restarts: the streams'
//                         calls fail with AUDCLNT_E_SERVICE_NOT_RUNNING
#pragma once

// Describes the endpoints and installs the stand-in device enumerator.
// False, after a message on stderr, when the input cannot be read or the
// event script is malformed.
bool InstallSimulatedAudio();

// False, after a message on stderr, when a stand-in object is still alive
// at the program's end.
bool SimulatedAudioReleased();
