// The first build of zem, without a library: loads the library's Zem
// sources with its own lexer, in the order given, and writes them as one
// compact, compressed ZEMBIN boot image. The build embeds that image in the
// final program.
//   zem_image OUTPUT SOURCE...
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "datatypes/block.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "app/runtime.h"
#include "services/lexer/lexer.h"
#include "services/zembin/zembin.h"

// This program carries no library of its own.
extern const uint8_t zem_boot_image[] = {0};
extern const size_t zem_boot_image_size = 0;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zem_image OUTPUT SOURCE...\n");
        return 2;
    }
    runtime::machine_start(0, nullptr);
    runtime::init();
    memory::starting = 0;
    const char* current = "";
    try {
        Cell all = *block::make_at(stack::push_slot(), 64);
        for (int i = 2; i < argc; ++i) {
            current = argv[i];
            std::ifstream in(argv[i], std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "zem_image: cannot read %s\n", argv[i]);
                return 1;
            }
            std::vector<uint8_t> text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            Cell* slot = stack::push_slot();
            *slot = Cell{TYPE_UNSET, 0, 0, 0};
            uint32_t consumed = 0;
            lexer::scan(slot, text.data(), static_cast<uint32_t>(text.size()), false, false, false, &consumed);
            block::append_block(&all, slot);
            stack::pop(1);
        }
        current = argv[1];
        Cell image;
        zembin::encode_boot(&all, &image);
        SeriesBuffer* s = series_of(&image);
        std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(s->data_at(0)), s->count());
        if (!out) {
            std::fprintf(stderr, "zem_image: cannot write %s\n", argv[1]);
            return 1;
        }
    } catch (const ErrorThrown& e) {
        std::fprintf(stderr, "zem_image: %s: %s error %s\n", current, errors::category_word(e.id.category),
                     errors::id_word(e.id));
        return 1;
    }
    runtime::cleanup();
    return 0;
}
