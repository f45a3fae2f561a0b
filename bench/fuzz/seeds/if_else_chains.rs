dfn classify(n: i32) -> &'static str {
    if n < 0 {
        return "negative";
    } else if n == 0 {
        return "zero";
    } else {
        println!("positive");
    }
    let v = if n > 10 {
        "big"
    } else {
        "small"
    };
    if n % 2 == 0 {
        "even"
    } else {
        "odd"
    }
}
