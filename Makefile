# The two commands of the README, and a few conveniences.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= $(shell nproc)

.PHONY: deps build test test-sanitize demo bench format clean

deps:
	./scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

test: build
	./scripts/check-layers
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Every test again under AddressSanitizer and UndefinedBehaviorSanitizer, in its own folder.
test-sanitize: deps
	./scripts/test-sanitize $(SANITIZE_BUILD) $(JOBS)

demo: build
	./scripts/demo $(BUILD)

bench: build
	./scripts/run-bench $(BUILD)

format:
	find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
