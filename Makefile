# Front door: `make run` scans the bundled sample, `make test` runs every test.
BUILD ?= build
SAN_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
# Seconds each fuzz target runs in `make fuzz`.
FUZZ_SECONDS ?= 60

.PHONY: all deps build build-sanitize build-fuzz run gui test test-sanitize fuzz ci clean

all: build

deps:
	@bash scripts/setup-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-sanitize: deps
	@cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Sanitize -DQUENLOW_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(SAN_BUILD) -j $(JOBS)

# libFuzzer programs, one per parser (clang, with the address and undefined-behaviour sanitizers).
build-fuzz:
	@bash scripts/setup-deps.sh fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Fuzz -DQUENLOW_BUILD_GUI=OFF \
		-DQUENLOW_BUILD_TESTS=OFF -DQUENLOW_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_programs

# Every fuzz target for FUZZ_SECONDS on its seeds; fails when one finds a crash, a hang or a leak.
fuzz: build-fuzz
	@bash tools/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

run: build
	@mkdir -p $(BUILD)/sample
	@$(BUILD)/tools/quenlow-make-sample-db $(BUILD)/sample/sample.mdf >/dev/null
	@$(BUILD)/cli/quenlow scan $(BUILD)/sample/sample.mdf

# The desktop window (needs a display; QT_QPA_PLATFORM=offscreen runs it without one).
gui: build
	@$(BUILD)/gui/quenlow-gui

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize: build-sanitize
	@cd $(SAN_BUILD) && ctest --output-on-failure -j $(JOBS)

ci: test test-sanitize

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
