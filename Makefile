# make test: installs what is missing, configures, builds, packages and runs every test.
# make package: the installer and the portable zip, into build/<preset>/packages.
# make run:  the same set-up, then opens the program (under Wine on Linux).
PRESET ?= mingw
BUILD  := build/$(PRESET)

.PHONY: all deps configure build test run screenshot bench package clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

# The install test runs the installer, so the packages come first.
test: package
	ctest --preset $(PRESET)

package: build
	cpack --preset $(PRESET)

run: build
	scripts/run.sh $(BUILD)

# The benchmarks print figures; they are run by hand, never by the tests. Their output
# goes through a file, which is kept beside them.
bench: build
	scripts/wine-prefix.sh up $(CURDIR)/$(BUILD)/wine/prefix
	status=0; for b in output_bench launcher_bench startup_bench run_facts_bench strip_bench; do \
	  scripts/wine-run.sh $(CURDIR)/$(BUILD)/wine/prefix $(BUILD)/bench/$$b.exe </dev/null >$(BUILD)/bench/$$b.txt 2>&1 || status=1; \
	  cat $(BUILD)/bench/$$b.txt; done; \
	  scripts/wine-prefix.sh down $(CURDIR)/$(BUILD)/wine/prefix; exit $$status

# A finished ping run with its strip, and the hop bars of a traceroute.
screenshot: build
	SCREENSHOT_WAIT=15 scripts/screenshot.sh $(BUILD) docs/screenshot.png ping
	SCREENSHOT_WAIT=15 scripts/screenshot.sh $(BUILD) docs/screenshot-hops.png hops
	SCREENSHOT_WAIT=15 scripts/screenshot.sh $(BUILD) docs/screenshot-times.png ping times
	SCREENSHOT_WAIT=15 SCREENSHOT_SCREEN=1024x768 scripts/screenshot.sh $(BUILD) docs/screenshot-maximized.png ping max

clean:
	rm -rf build
