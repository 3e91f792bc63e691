#pragma once
// The host is built with Microsoft's compiler, which cannot catch what g++
// code throws: to such a host an exception leaving one of our slots ends its
// process. Every slot whose work can fail inside (out of memory, as a rule)
// runs that work through one of these and answers its defined failure.

namespace Plugin {

template <typename Result, typename Work>
Result AnswerOr(Result failure, Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return failure;
    }
}

// For slots without a result: a failed operation leaves the object as the
// work left it, which each caller arranges to be whole.
template <typename Work>
void AnswerNothing(Work&& work) noexcept {
    try {
        work();
    } catch (...) {
    }
}

}  // namespace Plugin
