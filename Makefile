# Entry points for a newcomer: `make run` and `make test` install what is missing,
# configure, build, and then start Pelmora or run every test.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench format clean

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

bench: CMAKE_FLAGS += -DPELMORA_BUILD_BENCH=ON
bench: build

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
