# Front door: `make run` scans the bundled sample, `make test` runs every test.
BUILD ?= build
SAN_BUILD ?= build-sanitize
JOBS ?= $(shell nproc)

.PHONY: all deps build build-sanitize run gui test test-sanitize ci clean

all: build

deps:
	@bash scripts/setup-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-sanitize: deps
	@cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Sanitize -DQUENLOW_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(SAN_BUILD) -j $(JOBS)

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
	rm -rf $(BUILD) $(SAN_BUILD)
