"""trivandel.exe's usage text, as the program prints it for an unknown
argument (the command-line test and the release archive's check)."""

USAGE = """trivandel alpha-1 ver 0.01
Copyright (c) the trivandel developers. Provided as is, without warranty.

>trivandel.exe [options]
Options.
    -output_device # : Output audio device name.
       -output_bit # : Output quantization bit. (16 or 24 only)
  -buffer_duration # : Output buffer size. [msec]
     -priority_app # : priority application exe name.
           -mono_lfe : Monaural LFE.
       -attenuatio # : attenuatio rate.
            -verbose : Output debug logs.

Default settings are...
      -output_device = Automatic detection.
         -output_bit = Follow output audio device setting.
    -buffer_duration = 100[ms]
       -priority_app = foobar2000.exe.
           -mono_lfe = Disable.
         -attenuatio = 0.8
            -verbose = Disable.
"""
