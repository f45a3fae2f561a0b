enum Shape {
    Circle(f64),
    Square(f64),
}

fn area(shape: &Shape) -> f64 {
    match shape {
        Shape::Circle(r) => 3.14159 * r * r,
        Shape::Square(s) => s * s,
    }
}

fn main() {
    let shapes = [Shape::Circle(1.0), Shape::Square(2.0)];
    let mut total = 0.0;
    for shape in &shapes {
        let a = area(shape);
        if a > 3.5 {
            println!("large: {a}");
        } else {
            println!("small: {a}");
        }
        total += a;
    }
    println!("total: {total}");
}
