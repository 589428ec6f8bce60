#pragma once
// Owning list of heap items: add at end, last, count, item by index, delete by index, clear.
#include "base/Error.h"

#include <memory>
#include <vector>

template <class T> class TAnyList {
public:
    void Add(T* item) { Items.emplace_back(item); }
    void Add(std::unique_ptr<T> item) { Items.push_back(std::move(item)); }
    T* Last() const { return Items.empty() ? nullptr : Items.back().get(); }
    int Count() const { return static_cast<int>(Items.size()); }
    T* Item(int index) const { return Items[Check(index)].get(); }
    T* operator[](int index) const { return Item(index); }
    void Delete(int index) { Items.erase(Items.begin() + Check(index)); }
    void Clear() { Items.clear(); }

private:
    size_t Check(int index) const {
        if (index < 0 || index >= Count()) throw brindle::Error("cTemplateList - to big item number");
        return static_cast<size_t>(index);
    }
    std::vector<std::unique_ptr<T>> Items;
};

// The waveform views keep their items in the same kind of list.
template <class T> using cMemWavAnyList = TAnyList<T>;
