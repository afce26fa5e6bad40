# The example the package holds, and the one command that flies it from the
# unpacked folder in a Windows command prompt: kestrel-host plays the
# example ascent into the folder `flight` (its data file, the display's
# picture, the saved scenario), then kestrel-records charts the data file.
# The example's clock is fixed (clock_mjd), so the data file's name is known.
# README.txt and the guide both print this command; package-test.sh runs it.
set(KESTREL_EXAMPLE_FOLDER examples/ascent)
set(KESTREL_EXAMPLE_FILES flight.json start.scn)
set(KESTREL_EXAMPLE_DATA_FILE [=[flight\KestrelScribeData\Kestrel 1_613815001.txt]=])
set(KESTREL_EXAMPLE_COMMAND
  [=[kestrel-host.exe run examples\ascent\flight.json --root flight && kestrel-records.exe plot "flight\KestrelScribeData\Kestrel 1_613815001.txt" -o flight\pitch.svg]=])
