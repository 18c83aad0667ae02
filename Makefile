# make test: installs what is missing, configures, builds and runs every test.
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

test: build
	ctest --preset $(PRESET)

run: build
	scripts/run.sh $(BUILD)

screenshot: build
	scripts/screenshot.sh $(BUILD) docs/screenshot.png

clean:
	rm -rf build
