// SmallStack: the explicit stack of the iterative tree walks. Holds its first few entries inline
// so that shallow trees cost no heap allocation, and grows on the heap for deep ones, so the
// depth of a tree never bounds the depth of the machine stack.
#ifndef ZEK_BINDING_SMALL_STACK_H_
#define ZEK_BINDING_SMALL_STACK_H_

#include <cstddef>
#include <type_traits>
#include <vector>

namespace Varn {

template <class T, size_t kInline = 32>
class SmallStack {
  static_assert(std::is_trivially_copyable_v<T> && std::is_default_constructible_v<T>);

 public:
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  void push(const T& item) {
    if (size_ < kInline) {
      inline_[size_++] = item;
      return;
    }
    overflow_.push_back(item);
    ++size_;
  }
  T pop() {
    --size_;
    if (size_ < kInline) return inline_[size_];
    T item = overflow_.back();
    overflow_.pop_back();
    return item;
  }
  T& top() { return size_ <= kInline ? inline_[size_ - 1] : overflow_.back(); }

 private:
  size_t size_ = 0;
  T inline_[kInline];
  std::vector<T> overflow_;
};

}  // namespace Varn

#endif  // ZEK_BINDING_SMALL_STACK_H_
