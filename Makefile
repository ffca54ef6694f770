# The two commands of the README, and a few conveniences.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps build test demo bench format clean

deps:
	./scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

test: build
	./scripts/check-layers
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

demo: build
	./scripts/demo $(BUILD)

bench: build
	./scripts/run-bench $(BUILD)

format:
	find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
