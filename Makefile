# Entry points for a newcomer: `make run` and `make test` install what is missing,
# configure, build, and then start Pelmora or run every test.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test package test-asan test-tsan bench format clean

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/app/pelmora

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The Debian package, $(BUILD_DIR)/pelmora_<version>_<arch>.deb:
#   sudo apt-get install ./build/pelmora_*.deb
package: build
	cmake --build $(BUILD_DIR) --target package

# The engine and its tests under the address and undefined-behaviour sanitizers.
test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELMORA_ASAN=ON -DPELMORA_BUILD_GUI=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The tests whose code runs on more than one thread (the schedule timer's worker) under the
# thread sanitizer.
test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELMORA_TSAN=ON -DPELMORA_BUILD_GUI=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS) --target schedule_tests sync_tests
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --output-on-failure -j $(JOBS) -R '^(HiResTimer|ScheduleTrigger|ScheduleTicker|ParallelListing|Listings/ParallelListingCancel|RunDriverTest|UnknownPlacesTest|SafetyTest|LeftoversTest)'

bench: CMAKE_FLAGS += -DPELMORA_BUILD_BENCH=ON
bench: build

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
