# The two commands: `make run` and `make test`. Both install what is missing,
# configure build/ with the host build and the IA32 images, and build it.
BUILD := build
JOBS := 2
CMAKE_FLAGS := -G Ninja -DTOUCH_BUILD_IMAGES=ON -DTOUCH_QEMU_TESTS=ON

.PHONY: run test deps build

run: build
	./$(BUILD)/touch-update-sim

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	ninja -C $(BUILD) -j$(JOBS)
