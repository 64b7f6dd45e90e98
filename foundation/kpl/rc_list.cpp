#include "foundation/kpl/rc_list.h"

namespace kpl {

string_list::string_list(const string_list& other) : rc_list<string_list_node>() { string_list_assign(*this, other); }

string_list& string_list::operator=(const string_list& other) {
    if (this != &other) string_list_assign(*this, other);
    return *this;
}

void string_list_push_back(string_list& list, const char* text, uint32_t max) {
    rc_ptr<string_list_node> node(new string_list_node);
    node->text.assign(text, max);
    list.push_back(node.get());
}

rc_ptr<string_list_node> string_list_append_empty(string_list& list) {
    rc_ptr<string_list_node> node(new string_list_node);
    list.push_back(node.get());
    return node;
}

void string_list_assign(string_list& list, const string_list& source) {
    // Copy first, so a failure leaves list as it was.
    rc_list<string_list_node> copy;
    for (const string_list_node* n = source.first_node(); n; n = n->next) {
        rc_ptr<string_list_node> node(new string_list_node);
        node->text = n->text;
        copy.push_back(node.get());
    }
    list.swap(copy);  // the old nodes go with copy
}

void string_list_to_array(const string_list& list, string_array& out) {
    string_array result;
    for (const string_list_node* n = list.first_node(); n; n = n->next) result.append(n->text);
    out = static_cast<string_array&&>(result);
}

}  // namespace kpl
